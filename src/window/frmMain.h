#pragma once

#include <QWidget>
#include <memory>

#include "app/MainWindowServices.h"
#include "settings/ProcessINIFile.h"

class Controller;
class PortList;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class ClockPump;
class RealtimePriority;
class FlashTimer;
class Wsc32;

// The main window: the controls, and the window services the controller's operations use.
// Each control event goes straight to the controller's handler of the same name.
class frmMain : public QWidget, public MainWindowServices {
    Q_OBJECT

  public:
    // The flash timer and the clock and event pump the window runs on.
    struct Timing {
        std::unique_ptr<FlashTimer> timer;
        std::unique_ptr<ClockPump> clock;
        // Whether the window's thread takes real-time scheduling while a port is open, where
        // the system grants it (RealtimePriority).
        bool realtime = false;
    };

    // Builds the window around the given serial library, port list and settings file, and
    // runs the start-up sequence (settings loaded, lists filled, flash timer set going). The
    // window runs on the Qt flash timer and the Qt clock and event pump.
    frmMain(std::unique_ptr<Wsc32> serial, std::unique_ptr<PortList> ports,
            ProcessINIFile settingsFile, QString programFolder, QWidget* parent = nullptr);
    // The same on the given timer and clock, for measuring the window's timing as it is.
    // The first form runs at real-time scheduling while a port is open, where granted.
    frmMain(std::unique_ptr<Wsc32> serial, std::unique_ptr<PortList> ports,
            ProcessINIFile settingsFile, QString programFolder, Timing timing,
            QWidget* parent = nullptr);
    ~frmMain() override;

    // The controller behind the window.
    Controller& controller() { return *m_controller; }
    // Pixels per 15 twips: the screen's logical dpi over 96, raised so that every caption fits.
    double scaleFactor() const { return m_scale; }

    int whiteBoxValue() override;
    void setTitle(const QString& title) override;
    void showMessage(const QString& text) override;
    QString chooseOpenFile(const QString& folder, const QString& filter) override;
    void addListItem(ListId list, const QString& text, const QString& toolTip) override;
    void selectListItem(ListId list, int index) override;
    void insertListItem(ListId list, int index, const QString& text,
                        const QString& toolTip) override;
    void setListItemToolTip(ListId list, int index, const QString& toolTip) override;
    void closeWindow() override;

    // Qt's file-dialog filter for a filter such as "Keldara Program|*.CSV|All Files|*.*". Each
    // pattern matches names in any letter case, also in choosers that tell cases apart.
    static QString qtFilter(const QString& filter);

  signals:
    // The window has unloaded: the settings are saved and the program may end.
    void unloaded();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // Shows the modal message box; tests replace it.
    virtual void messageBox(const QString& text);
    // Shows the modal open-file dialog; tests replace it.
    virtual QString openFileDialog(const QString& folder, const QString& filter);

  private:
    void buildControls();
    void placeControls();
    void routeEvents();
    QComboBox* list(ListId id) const;

    std::unique_ptr<Wsc32> m_serial;
    std::unique_ptr<PortList> m_ports;
    std::unique_ptr<FlashTimer> m_timer;
    std::unique_ptr<ClockPump> m_clock;
    std::unique_ptr<RealtimePriority> m_realtime;
    std::unique_ptr<Controller> m_controller;
    bool m_unloaded = false;
    double m_scale = 1.0;

    QPushButton* cmdFlashOrlesse = nullptr;
    QPushButton* cmdStop = nullptr;
    QPushButton* cmdResetColours = nullptr;
    QPushButton* cmdSwitchOff = nullptr;
    QPushButton* cmdSpin = nullptr;
    QPushButton* cmdGradient = nullptr;
    QPushButton* cmdProgramStart = nullptr;
    QPushButton* cndProgramEnd = nullptr;
    QPushButton* cmdExit = nullptr;
    QComboBox* ComboCOMPort = nullptr;
    QComboBox* ComboFlashRate = nullptr;
    QComboBox* ComboFlashColour = nullptr;
    QComboBox* ComboBrightness = nullptr;
    QCheckBox* CheckWhite = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QFrame* Line1 = nullptr;
};
