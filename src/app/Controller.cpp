#include "app/Controller.h"

#include <algorithm>
#include <array>
#include <map>
#include <utility>

#include "app/MainWindowServices.h"
#include "app/PortList.h"
#include "core/FlashTimer.h"

Controller::Controller(Wsc32& serial, FlashTimer& timer, ClockPump& clock,
                       MainWindowServices& window, PortList& ports, ProcessINIFile settingsFile,
                       QString programFolder)
    : m_core(serial, timer, clock, window),
      m_state(m_core.state()),
      m_settings(m_core.settings()),
      m_port(m_core.port()),
      m_context(m_core.context()),
      m_settingsFile(std::move(settingsFile)),
      m_window(window),
      m_ports(ports),
      m_flashing(m_context),
      m_segmentColours(m_context),
      m_gradient(m_context),
      m_programs(m_context, std::move(programFolder)) {
    // The window's timer starts enabled with interval 0, so it does not tick yet.
    timer.setInterval(0);
    timer.setEnabled(true);
    timer.setTickHandler([this] { Timer1_Timer(); });
}

Controller::~Controller() {
    m_context.timer.setTickHandler({});
}

template <typename Effect>
void Controller::runEffect(Effect&& effect) {
    ++m_effectsRunning;
    effect();
    --m_effectsRunning;
    if (m_effectsRunning == 0 && m_unloadPending) {
        m_unloadPending = false;
        m_window.closeWindow();
    }
}

void Controller::selectAtStartup(ListId list, int index) {
    m_window.selectListItem(list, index);
    switch (list) {
        case ListId::FlashRate:
            ComboFlashRate_Click(index);
            break;
        case ListId::FlashColour:
            ComboFlashColour_Click(index);
            break;
        case ListId::Brightness:
            ComboBrightness_Click(index);
            break;
        case ListId::COMPort:
            break;
    }
}

QList<int> Controller::activePortNumbers() {
    std::array<int32_t, PortList::BufferSize> buffer{};
    // The buffer has 501 entries, so no scan goes past position 500, and any larger result
    // examines them all: the limit applies to the full result, before it could wrap in 16 bits.
    // A negative result examines nothing.
    const int32_t result = m_ports.ListActiveCOMPorts(buffer.data());
    const int last = result < 0 ? -1 : std::min<int32_t>(result, PortList::BufferSize - 1);
    QList<int> numbers;
    for (int i = 0; i <= last; ++i) {
        if (buffer[i] > 0) {
            numbers.append(buffer[i]);
        }
    }
    return numbers;
}

void Controller::Form_Load() {
    m_settingsFile.LoadSettings(m_settings);
    keepWithinLists(m_settings);
    m_settingsFile.SaveSettings(m_settings);

    for (const int number : activePortNumbers()) {
        const QString description = m_ports.describe(number);
        m_window.addListItem(ListId::COMPort, QStringLiteral("Com%1").arg(number), description);
        m_comPorts.push_back({number, description, description});
    }
    const SettingEntry& rates = settingEntry(&Settings::FlashRate);
    for (int rate = rates.lowest; rate <= rates.highest; ++rate) {
        m_window.addListItem(ListId::FlashRate, QString::number(rate), {});
    }
    for (int i = 0; i < FlashColourCount; ++i) {
        m_window.addListItem(ListId::FlashColour, flashColourName(i), {});
    }
    selectAtStartup(ListId::FlashColour, m_settings.FlashColourIndex);
    for (int i = 0; i < BrightnessCount; ++i) {
        m_window.addListItem(ListId::Brightness, brightnessName(i), {});
    }
    selectAtStartup(ListId::FlashRate, m_settings.FlashRate - 1);
    selectAtStartup(ListId::Brightness, m_settings.BrightnessIndex);
    ApplyFlashColour(m_state, m_settings);
    m_state.StopFlashing = false;
    m_state.WhiteCode = WhiteCodeFor(0);
}

bool Controller::Form_QueryUnload() {
    m_state.ProgramRunning = false;
    if (m_effectsRunning == 0) {
        return true;
    }
    // An effect's loop is still on the call stack below this handler: let it end through its
    // own tests, and close the window once it has returned.
    m_state.PortOpen = false;
    m_state.Unloading = true;
    m_unloadPending = true;
    m_context.timer.setEnabled(false);  // no flash tick reaches the device once closing began
    Form_Unload();
    return false;
}

void Controller::Form_Unload() {
    // A close during an effect unloads when it is asked for; the window's final close, once
    // the effect has returned, is the same unload and does not save again.
    if (m_unloaded) {
        return;
    }
    m_unloaded = true;
    m_settingsFile.SaveSettings(m_settings);
}

void Controller::cmdFlashOrlesse_Click() {
    m_flashing.start();
}

void Controller::cmdStop_Click() {
    m_flashing.stop();
}

void Controller::cmdSwitchOff_Click() {
    m_flashing.switchOff();
}

void Controller::Timer1_Timer() {
    m_flashing.tick();
}

void Controller::CheckWhite_Click(int value) {
    m_state.WhiteCode = WhiteCodeFor(value);
}

void Controller::cmdGradient_Click() {
    runEffect([this] { m_gradient.run(); });
}

void Controller::cmdSpin_Click() {
    runEffect([this] { m_segmentColours.spin(); });
}

void Controller::cmdResetColours_Click() {
    m_segmentColours.resetColours();
}

void Controller::cmdProgramStart_Click() {
    runEffect([this] { m_programs.cmdProgramStart_Click(); });
}

void Controller::cndProgramEnd_Click() {
    m_programs.cndProgramEnd_Click();
}

void Controller::ComboCOMPort_Click(const QString& itemText) {
    m_settings.ComPortNumber = static_cast<int16_t>(itemText.mid(3).trimmed().toInt());
    m_settingsFile.SaveSettings(m_settings);
}

void Controller::ComboCOMPort_DropDown() {
    const QList<int> present = activePortNumbers();
    std::map<int, QString> descriptions;
    for (const int number : present) {
        descriptions.emplace(number, m_ports.describe(number));
    }
    for (const auto& [number, description] : descriptions) {
        const auto listed = [number = number](const ListedPort& port) {
            return port.number == number;
        };
        if (std::any_of(m_comPorts.begin(), m_comPorts.end(), listed)) {
            continue;
        }
        // Before the first item with a higher number: the list stays in number order.
        const auto at = std::find_if(
            m_comPorts.begin(), m_comPorts.end(),
            [number = number](const ListedPort& port) { return port.number > number; });
        m_window.insertListItem(ListId::COMPort, static_cast<int>(at - m_comPorts.begin()),
                                QStringLiteral("Com%1").arg(number), description);
        m_comPorts.insert(at, {number, description, description});
    }
    // A port that has gone stays listed, so no item vanishes from under the user.
    for (size_t i = 0; i < m_comPorts.size(); ++i) {
        ListedPort& port = m_comPorts[i];
        const auto found = descriptions.find(port.number);
        if (found != descriptions.end()) {
            port.description = found->second;
        }
        const QString toolTip = found != descriptions.end()
                                    ? port.description
                                    : QStringLiteral("(not present) ") + port.description;
        if (toolTip != port.toolTip) {
            port.toolTip = toolTip;
            m_window.setListItemToolTip(ListId::COMPort, static_cast<int>(i), toolTip);
        }
    }
}

void Controller::ComboFlashRate_Click(int position) {
    m_settings.FlashRate = static_cast<int16_t>(position + 1);
    m_context.timer.setInterval(Flashing::intervalForRate(m_settings.FlashRate));
    m_settingsFile.SaveSettings(m_settings);
}

void Controller::ComboFlashColour_Click(int position) {
    m_settings.FlashColourIndex = static_cast<int16_t>(position);
    ApplyFlashColour(m_state, m_settings);
}

void Controller::ComboBrightness_Click(int position) {
    m_settings.BrightnessIndex = static_cast<int16_t>(position);
    m_settingsFile.SaveSettings(m_settings);
    ApplyBrightness(m_state, m_settings);
}

void Controller::cmdExit_Click() {
    // Effects running below this handler end through their own tests once the flags are
    // cleared; the device is shut down in order first.
    m_state.ProgramRunning = false;
    if (m_state.PortOpen) {
        m_flashing.stop();
        m_segmentColours.resetColours();
        m_port.closePort();
    }
    m_state.PortOpen = false;
    m_state.Unloading = true;
    m_window.closeWindow();
}
