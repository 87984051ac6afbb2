#include "app/Controller.h"

#include <algorithm>
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
      m_flashing(m_context),
      m_segmentColours(m_context),
      m_gradient(m_context),
      m_programs(m_context, std::move(programFolder)),
      m_comPorts(ports) {
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

void Controller::Form_Load() {
    m_settingsFile.LoadSettings(m_settings);
    keepWithinLists(m_settings);
    m_settingsFile.SaveSettings(m_settings);

    for (const ComPortListing::Item& item : m_comPorts.fill()) {
        m_window.addListItem(ListId::COMPort, ComPortListing::itemText(item.number),
                             item.description);
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
    m_settings.ComPortNumber = static_cast<int16_t>(ComPortListing::numberOf(itemText));
    m_settingsFile.SaveSettings(m_settings);
}

void Controller::ComboCOMPort_DropDown() {
    m_comPorts.refresh(
        [this](int index, const ComPortListing::Item& item) {
            m_window.insertListItem(ListId::COMPort, index, ComPortListing::itemText(item.number),
                                    item.description);
        },
        [this](int index, const QString& toolTip) {
            m_window.setListItemToolTip(ListId::COMPort, index, toolTip);
        });
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
