#pragma once

#include <QList>
#include <QString>
#include <memory>
#include <vector>

#include "app/ComPortListing.h"
#include "app/MainWindowServices.h"
#include "app/ProgramRunner.h"
#include "light/ControlCore.h"
#include "light/Flashing.h"
#include "light/GradientFade.h"
#include "light/LightState.h"
#include "light/SegmentColours.h"
#include "settings/ProcessINIFile.h"

class ClockPump;
class FlashTimer;
class PortList;
class Wsc32;

// Everything the main window does, without the widgets: the light state and the settings, the
// start-up sequence, one handler per control event, and the unload. The window calls the
// handlers; the handlers reach the window only through WindowServices.
class Controller {
  public:
    Controller(Wsc32& serial, FlashTimer& timer, ClockPump& clock, MainWindowServices& window,
               PortList& ports, ProcessINIFile settingsFile, QString programFolder);
    ~Controller();

    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    // The light state, for the window and for tests.
    LightState& state() { return m_state; }
    // The four settings.
    Settings& settings() { return m_settings; }
    // The settings file.
    const ProcessINIFile& settingsFile() const { return m_settingsFile; }
    // The device link.
    PortConnection& port() { return m_port; }
    // The assembled core the controller works on.
    ControlCore& core() { return m_core; }
    // What the controller's operations work with, for tests that drive one directly.
    const OperationContext& context() const { return m_context; }
    // Start Program and End Program, for setting up how runs are recorded.
    ProgramRunner& programs() { return m_programs; }

    // Start-up: loads and saves the settings, fills the lists and selects the stored choices
    // through the lists' own handlers, which sets the flash timer going.
    void Form_Load();

    // Whether the window may go now. Clears ProgramRunning and PortOpen so that running
    // effects end through their own tests; while one still runs the answer is false, and the
    // window is closed for good (closeWindow) as soon as the last effect has returned.
    bool Form_QueryUnload();
    // Unload: saves the settings, once however often the window asks.
    void Form_Unload();

    void cmdFlashOrlesse_Click();                      // "Flash the Orlesse"
    void cmdStop_Click();                              // "Stop Flashing"
    void cmdSwitchOff_Click();                         // "Switch Off"
    void Timer1_Timer();                               // flash timer tick
    void CheckWhite_Click(int value);                  // "Flash White LED's" box, value 1 = ticked
    void cmdGradient_Click();                          // "Gradient"
    void cmdSpin_Click();                              // "Spin"
    void cmdResetColours_Click();                      // "Reset Colours"
    void cmdProgramStart_Click();                      // "Start Program"
    void cndProgramEnd_Click();                        // "End Program"
    void ComboCOMPort_Click(const QString& itemText);  // COM port chosen, item text "Com<n>"
    // The COM port list opens: ports that appeared since it was filled are added in number
    // order, and each item's tool tip tells what its port is now, or that it is not present.
    void ComboCOMPort_DropDown();
    void ComboFlashRate_Click(int position);    // flash rate chosen, position 0 = rate 1
    void ComboFlashColour_Click(int position);  // flash colour chosen
    void ComboBrightness_Click(int position);   // brightness chosen
    void cmdExit_Click();                       // "Exit": stops and resets the device, then unloads

    // Number of long effects (spin, gradient, program) running now, nested ones counted.
    int effectsRunning() const { return m_effectsRunning; }

  private:
    template <typename Effect>
    void runEffect(Effect&& effect);
    void selectAtStartup(ListId list, int index);

    ControlCore m_core;
    LightState& m_state;
    Settings& m_settings;
    PortConnection& m_port;
    const OperationContext& m_context;
    ProcessINIFile m_settingsFile;
    MainWindowServices& m_window;
    Flashing m_flashing;
    SegmentColours m_segmentColours;
    GradientFade m_gradient;
    ProgramRunner m_programs;
    ComPortListing m_comPorts;  // the COM port list's items, in list order
    int m_effectsRunning = 0;
    bool m_unloadPending = false;
    bool m_unloaded = false;
};
