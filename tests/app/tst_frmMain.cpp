// The main window offscreen: controls, captions, layout, lists and tab order, and that each
// control reaches its operation.
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStyleOption>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>

#include "app/Controller.h"
#include "support/FakeWindow.h"
#include "support/RecordingWsc32.h"
#include "window/frmMain.h"

namespace {

// The window with its modal boxes replaced by recordings.
class TestWindow : public frmMain {
  public:
    TestWindow(RecordingWsc32*& serial, FakePortList*& ports, const QString& folder,
               const QList<int32_t>& startPorts = {3, 0, 5})
        : frmMain(makeSerial(serial), makePorts(ports, startPorts),
                  ProcessINIFile(folder, folder + "/config"), folder) {}

    QStringList messages;
    QStringList dialogFilters;
    QString fileAnswer;
    bool realDialog = false;

  protected:
    void messageBox(const QString& text) override { messages.append(text); }
    QString openFileDialog(const QString& folder, const QString& filter) override {
        dialogFilters.append(filter);
        return realDialog ? frmMain::openFileDialog(folder, filter) : fileAnswer;
    }

  private:
    static std::unique_ptr<Wsc32> makeSerial(RecordingWsc32*& serial) {
        auto library = std::make_unique<RecordingWsc32>();
        serial = library.get();
        return library;
    }
    static std::unique_ptr<PortList> makePorts(FakePortList*& list,
                                               const QList<int32_t>& startPorts) {
        auto ports = std::make_unique<FakePortList>();
        ports->entries = startPorts;
        ports->result = int32_t(startPorts.size()) - 1;
        list = ports.get();
        return ports;
    }
};

QStringList items(QComboBox* combo) {
    QStringList result;
    for (int i = 0; i < combo->count(); ++i) {
        result.append(combo->itemText(i));
    }
    return result;
}

// The rectangle in which the style draws the control's caption.
QRect captionRoom(QWidget* widget) {
    QStyle* style = widget->style();
    if (qobject_cast<QComboBox*>(widget) != nullptr) {
        QStyleOptionComboBox option;
        option.initFrom(widget);
        return style->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField,
                                     widget);
    }
    QStyleOptionButton option;
    option.initFrom(widget);
    if (qobject_cast<QCheckBox*>(widget) != nullptr) {
        return style->subElementRect(QStyle::SE_CheckBoxContents, &option, widget);
    }
    if (qobject_cast<QPushButton*>(widget) != nullptr) {
        return style->subElementRect(QStyle::SE_PushButtonContents, &option, widget);
    }
    return widget->contentsRect();
}

}  // namespace

class FrmMainTest : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();
    void controlsAndCaptions_data();
    void controlsAndCaptions();
    void controlsInsideAndApart();
    void windowLayout_data();
    void windowLayout();
    void largerFontDpi();
    void captionsFit_data();
    void captionsFit();
    void listsAfterStartUp();
    void tabOrderStartsAtTheComPortList();
    void buttonsReachTheirOperations();
    void listChoicesRunTheirHandlers();
    void comListRefreshedWhenItOpens();
    void longEffectsEndWhenThePortCloses();
    void programDialogOffersBothCases();
    void programPlaysThroughTheWindow();
    void escapeEndsTheProgramAndSwitchesOff();
    void closingDuringASpinWaitsForIt();
    void exitSavesAndUnloads();
    void qtFilter_data();
    void qtFilter();
    void programChoiceMatchesAnyCase_data();
    void programChoiceMatchesAnyCase();

  private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TestWindow> m_window;
    RecordingWsc32* m_serial = nullptr;
    FakePortList* m_ports = nullptr;

    QPushButton* button(const char* name) { return m_window->findChild<QPushButton*>(name); }
    QComboBox* combo(const char* name) { return m_window->findChild<QComboBox*>(name); }
};

void FrmMainTest::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    m_window = std::make_unique<TestWindow>(m_serial, m_ports, m_dir->path());
    m_window->controller().settings().ComPortNumber = 3;
    m_window->show();
}

void FrmMainTest::cleanup() {
    m_window.reset();
    m_dir.reset();
    QApplication::setFont(QFont());
}

void FrmMainTest::controlsAndCaptions_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::newRow("flash") << "cmdFlashOrlesse"
                           << "Flash the Orlesse";
    QTest::newRow("stop") << "cmdStop"
                          << "Stop Flashing";
    QTest::newRow("reset") << "cmdResetColours"
                           << "Reset Colours";
    QTest::newRow("off") << "cmdSwitchOff"
                         << "Switch Off";
    QTest::newRow("spin") << "cmdSpin"
                          << "Spin";
    QTest::newRow("gradient") << "cmdGradient"
                              << "Gradient";
    QTest::newRow("start") << "cmdProgramStart"
                           << "Start Program";
    QTest::newRow("end") << "cndProgramEnd"
                         << "End Program";
    QTest::newRow("exit") << "cmdExit"
                          << "Exit";
    QTest::newRow("white") << "CheckWhite"
                           << "Flash White LED's";
    QTest::newRow("label 1") << "Label1"
                             << "COM Port:";
    QTest::newRow("label 2") << "Label2"
                             << "Flash Rate:";
    QTest::newRow("label 3") << "Label3"
                             << "Flash Colour:";
    QTest::newRow("label 4") << "Label4"
                             << "Brightness";
}

void FrmMainTest::controlsAndCaptions() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QWidget* widget = m_window->findChild<QWidget*>(name);
    QVERIFY(widget != nullptr);
    QCOMPARE(widget->property("text").toString(), caption);
    QCOMPARE(m_window->windowTitle(), QString("Orlesse"));
    QVERIFY(!m_window->windowIcon().isNull());
}

// Every control inside the window and clear of every other, at the window's one scale.
void FrmMainTest::controlsInsideAndApart() {
    if (qEnvironmentVariableIsSet("QT_FONT_DPI")) {  // the run of largerFontDpi
        QCOMPARE(m_window->logicalDpiX(), qEnvironmentVariableIntValue("QT_FONT_DPI"));
    }
    QVERIFY(m_window->scaleFactor() >= m_window->logicalDpiX() / 96.0);
    QCOMPARE(m_window->minimumSize(), m_window->maximumSize());
    const auto controls = m_window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    QCOMPARE(controls.size(), 19);  // 9 buttons, 4 lists, 4 labels, the check box, the line
    for (qsizetype i = 0; i < controls.size(); ++i) {
        const QRect place = controls[i]->geometry();
        QVERIFY2(m_window->rect().contains(place), qPrintable(controls[i]->objectName()));
        for (qsizetype j = i + 1; j < controls.size(); ++j) {
            QVERIFY2(!place.intersects(controls[j]->geometry()),
                     qPrintable(controls[i]->objectName() + " on " + controls[j]->objectName()));
        }
    }
}

void FrmMainTest::windowLayout_data() {
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("relation");
    QTest::addColumn<QString>("second");
    const auto row = [](const char* first, const char* relation, const char* second) {
        QTest::newRow(qPrintable(QStringLiteral("%1 %2 %3").arg(first, relation, second)))
            << QString(first) << QString(relation) << QString(second);
    };
    // The eight effect buttons: two columns of four alike buttons, read row by row.
    const char* buttons[4][2] = {{"cmdFlashOrlesse", "cmdStop"},
                                 {"cmdResetColours", "cmdSwitchOff"},
                                 {"cmdSpin", "cmdGradient"},
                                 {"cmdProgramStart", "cndProgramEnd"}};
    // The lists in one column below them, each with its caption on its left.
    const char* lists[4][2] = {{"Label2", "ComboFlashRate"},
                               {"Label3", "ComboFlashColour"},
                               {"Label4", "ComboBrightness"},
                               {"Label1", "ComboCOMPort"}};
    for (int r = 0; r < 4; ++r) {
        row(buttons[r][0], "left of", buttons[r][1]);
        row(buttons[r][0], "level with", buttons[r][1]);
        row(buttons[r][1], "as large as", buttons[r][0]);
        row(lists[r][0], "left of", lists[r][1]);
        row(lists[r][0], "on the row of", lists[r][1]);
        if (r > 0) {
            row(buttons[r][0], "as large as", buttons[0][0]);
            for (int c = 0; c < 2; ++c) {
                row(buttons[r - 1][c], "above", buttons[r][c]);
                row(buttons[r][c], "in line with", buttons[0][c]);
            }
            row(lists[r - 1][1], "above", lists[r][1]);
            row(lists[r][1], "in line with", lists[0][1]);
            row(lists[r][0], "ending with", lists[0][0]);  // the captions are right-aligned
        }
    }
    row("cmdProgramStart", "above", "Line1");
    row("Line1", "above", "ComboFlashRate");
    row("ComboCOMPort", "above", "CheckWhite");
    row("ComboCOMPort", "left of", "cmdExit");
    row("Line1", "above", "cmdExit");
    row("cmdExit", "ending with", "cndProgramEnd");
}

// The order and alignment of the controls, whatever their sizes.
void FrmMainTest::windowLayout() {
    QFETCH(QString, first);
    QFETCH(QString, relation);
    QFETCH(QString, second);
    using Test = bool (*)(const QRect&, const QRect&);
    static const QMap<QString, Test> holds{
        {"left of", [](const QRect& a, const QRect& b) { return a.right() < b.left(); }},
        {"above", [](const QRect& a, const QRect& b) { return a.bottom() < b.top(); }},
        {"level with", [](const QRect& a, const QRect& b) { return a.top() == b.top(); }},
        {"in line with", [](const QRect& a, const QRect& b) { return a.left() == b.left(); }},
        {"as large as", [](const QRect& a, const QRect& b) { return a.size() == b.size(); }},
        {"on the row of",
         [](const QRect& a, const QRect& b) {
             return a.top() <= b.bottom() && b.top() <= a.bottom();
         }},
        // Left edge and width are rounded to pixels apart, so right edges may differ by one.
        {"ending with",
         [](const QRect& a, const QRect& b) { return qAbs(a.right() - b.right()) <= 1; }},
    };
    const QWidget* a = m_window->findChild<QWidget*>(first);
    const QWidget* b = m_window->findChild<QWidget*>(second);
    QVERIFY(a != nullptr && b != nullptr && holds.contains(relation));
    const std::unique_ptr<char[]> places(QTest::toString(QList{a->geometry(), b->geometry()}));
    QVERIFY2(holds[relation](a->geometry(), b->geometry()), places.get());
}

// The same checks in a process on a screen of 144 dpi, as QT_FONT_DPI makes one when Qt does
// not scale the window itself: the fonts are larger and so is the window's scale.
void FrmMainTest::largerFontDpi() {
    if (qEnvironmentVariableIsSet("QT_FONT_DPI")) {
        QSKIP("this process already runs at a chosen dpi");
    }
    QProcess run;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_FONT_DPI", "144");
    environment.insert("QT_ENABLE_HIGHDPI_SCALING", "0");
    run.setProcessEnvironment(environment);
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(QCoreApplication::applicationFilePath(),
              {"controlsInsideAndApart", "windowLayout", "captionsFit"});
    QVERIFY(run.waitForFinished(60000));
    QVERIFY2(run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0,
             run.readAll().constData());
}

void FrmMainTest::captionsFit_data() {
    QTest::addColumn<int>("pointSize");  // 0: the platform's default font
    QTest::newRow("default font") << 0;
    QTest::newRow("large font") << 26;
}

void FrmMainTest::captionsFit() {
    QFETCH(int, pointSize);
    if (pointSize > 0) {
        QFont font = QApplication::font();
        font.setPointSize(pointSize);
        QApplication::setFont(font);
        m_window = std::make_unique<TestWindow>(m_serial, m_ports, m_dir->path());
    }
    for (QWidget* widget : m_window->findChildren<QWidget*>()) {
        QStringList captions{widget->property("text").toString()};
        if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            captions = items(combo);
        } else if (qobject_cast<QLabel*>(widget) == nullptr &&
                   qobject_cast<QAbstractButton*>(widget) == nullptr) {
            continue;
        }
        const QRect room = captionRoom(widget);
        for (const QString& caption : captions) {
            const QSize size = widget->fontMetrics().size(Qt::TextShowMnemonic, caption);
            QVERIFY2(size.width() <= room.width() && size.height() <= room.height(),
                     qPrintable(QStringLiteral("%1 in %2").arg(caption, widget->objectName())));
        }
    }
}

void FrmMainTest::listsAfterStartUp() {
    QCOMPARE(items(combo("ComboCOMPort")), (QStringList{"Com3", "Com5"}));
    QCOMPARE(combo("ComboCOMPort")->currentIndex(), -1);
    QCOMPARE(combo("ComboCOMPort")->itemData(1, Qt::ToolTipRole).toString(), QString("/dev/fake5"));
    QCOMPARE(combo("ComboFlashRate")->count(), 50);
    QCOMPARE(combo("ComboFlashRate")->currentText(), QString("10"));
    QCOMPARE(items(combo("ComboFlashColour")),
             (QStringList{"Red", "Yellow", "Green", "Blue", "White"}));
    QCOMPARE(combo("ComboFlashColour")->currentText(), QString("Green"));
    QCOMPARE(combo("ComboBrightness")->currentText(), QString("100%"));
    QVERIFY(!m_window->findChild<QCheckBox*>("CheckWhite")->isChecked());
}

void FrmMainTest::tabOrderStartsAtTheComPortList() {
    const QStringList expected{
        "ComboCOMPort",    "cmdFlashOrlesse",  "cmdStop",         "ComboFlashRate",  "cmdExit",
        "cmdResetColours", "ComboFlashColour", "cmdSwitchOff",    "ComboBrightness", "cmdSpin",
        "cmdGradient",     "CheckWhite",       "cmdProgramStart", "cndProgramEnd"};
    QWidget* widget = combo("ComboCOMPort");
    QStringList order;
    for (int i = 0; i < expected.size(); ++i) {
        order.append(widget->objectName());
        widget = widget->nextInFocusChain();
        while (widget->focusPolicy() == Qt::NoFocus || widget->objectName().isEmpty()) {
            widget = widget->nextInFocusChain();
        }
    }
    QCOMPARE(order, expected);
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(combo("ComboCOMPort")));
}

void FrmMainTest::buttonsReachTheirOperations() {
    LightState& state = m_window->controller().state();
    QTest::mouseClick(button("cmdFlashOrlesse"), Qt::LeftButton);
    QVERIFY(state.PortOpen);
    QCOMPARE(m_serial->calls()[1].args.first(), 2);  // COM3
    QTest::mouseClick(button("cmdStop"), Qt::LeftButton);
    QVERIFY(!state.PortOpen);
    QCOMPARE(m_serial->sentFrames().last(), QByteArray("\x01"
                                                       "0000FF00\r\n",
                                                       11));

    QTest::mouseClick(button("cmdResetColours"), Qt::LeftButton);
    QCOMPARE(m_serial->sentFrames().last(), QByteArray("\x02"
                                                       "04FFFF00\r\n",
                                                       11));
    QTest::mouseClick(button("cmdSwitchOff"), Qt::LeftButton);
    QCOMPARE(m_serial->sentFrames().last(), QByteArray("\x01"
                                                       "00000000\r\n",
                                                       11));
    QVERIFY(!state.PortOpen);

    QTest::mouseClick(m_window->findChild<QCheckBox*>("CheckWhite"), Qt::LeftButton);
    QCOMPARE(state.WhiteCode, QString("80"));

    m_window->fileAnswer.clear();
    QTest::mouseClick(button("cmdProgramStart"), Qt::LeftButton);
    QVERIFY(state.ProgramRunning);  // cancelled dialog leaves it set
    QTest::mouseClick(button("cndProgramEnd"), Qt::LeftButton);
    QVERIFY(!state.ProgramRunning);

    m_serial->failWith("SioReset", -2);
    QTest::mouseClick(button("cmdFlashOrlesse"), Qt::LeftButton);
    QCOMPARE(m_window->messages, QStringList{"COM port already open"});
}

void FrmMainTest::listChoicesRunTheirHandlers() {
    Controller& c = m_window->controller();
    QComboBox* rate = combo("ComboFlashRate");
    QTest::keyClick(rate, Qt::Key_Down);  // choosing with the keyboard
    QCOMPARE(c.settings().FlashRate, int16_t(11));
    emit combo("ComboCOMPort")->activated(1);
    QCOMPARE(c.settings().ComPortNumber, int16_t(5));
    emit combo("ComboFlashColour")->activated(4);
    QCOMPARE(c.state().CurrentColour, QString("FFFFFF"));
    emit combo("ComboBrightness")->activated(1);
    QCOMPARE(c.state().CurrentColour, QString("444444"));
}

// Ports that came after start-up are added when the list opens, not before; gone ones stay.
// The choice, or its absence, stays as it was, and a new port can be chosen and used.
void FrmMainTest::comListRefreshedWhenItOpens() {
    QComboBox* com = combo("ComboCOMPort");
    const QSize size = com->size();
    m_ports->entries = {1, 3, 5};
    QCOMPARE(items(com), (QStringList{"Com3", "Com5"}));
    com->showPopup();
    QCOMPARE(items(com), (QStringList{"Com1", "Com3", "Com5"}));
    QCOMPARE(com->currentIndex(), -1);
    com->hidePopup();

    com->setCurrentIndex(2);
    emit com->activated(2);
    m_ports->entries = {4, 5, 7};
    com->showPopup();
    QCOMPARE(items(com), (QStringList{"Com1", "Com3", "Com4", "Com5", "Com7"}));
    QCOMPARE(com->currentText(), QString("Com5"));
    QCOMPARE(com->itemData(1, Qt::ToolTipRole).toString(), QString("(not present) /dev/fake3"));
    QCOMPARE(com->itemData(4, Qt::ToolTipRole).toString(), QString("/dev/fake7"));
    com->hidePopup();
    QCOMPARE(com->size(), size);

    com->setCurrentIndex(4);
    emit com->activated(4);
    button("cmdFlashOrlesse")->click();
    // Flash ticks held back while no port was open may be delivered (to the closed port)
    // before the opening; the port opened is COM7's.
    const auto calls = m_serial->calls();
    const auto reset = std::find_if(calls.begin(), calls.end(),
                                    [](const auto& c) { return c.name == "SioReset"; });
    QVERIFY(reset != calls.end());
    QCOMPARE(reset->args.first(), 6);  // COM7
    QCOMPARE(m_serial->sentFrames().first(), QByteArray("\x01"
                                                        "00000000\r\n",
                                                        11));

    // A list empty at start-up still shows no choice once a port is added.
    m_window = std::make_unique<TestWindow>(m_serial, m_ports, m_dir->path(), QList<int32_t>{});
    com = combo("ComboCOMPort");
    m_ports->entries = {2};
    m_ports->result = 0;
    com->showPopup();
    QCOMPARE(items(com), QStringList{"Com2"});
    QCOMPARE(com->currentIndex(), -1);
    com->hidePopup();
}

void FrmMainTest::longEffectsEndWhenThePortCloses() {
    for (const char* effect : {"cmdSpin", "cmdGradient"}) {
        QTimer::singleShot(100, button("cmdStop"), [this] { button("cmdStop")->click(); });
        button(effect)->click();  // returns once Stop Flashing has closed the port
        QVERIFY(!m_window->controller().state().PortOpen);
        QCOMPARE(m_window->controller().effectsRunning(), 0);
    }
}

void FrmMainTest::programDialogOffersBothCases() {
    button("cmdProgramStart")->click();
    QCOMPARE(m_window->dialogFilters,
             QStringList{"Keldara Program (*.[cC][sS][vV]);;All Files (*)"});

    // The dialog itself names the two choices without their patterns.
    QStringList choices;
    QTimer::singleShot(0, m_window.get(), [&choices] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog != nullptr);
        choices = items(dialog->findChild<QComboBox*>("fileTypeCombo"));
        dialog->reject();
    });
    m_window->realDialog = true;
    m_window->chooseOpenFile(m_dir->path(), "Keldara Program|*.CSV|All Files|*.*");
    QCOMPARE(choices, (QStringList{"Keldara Program", "All Files"}));
}

void FrmMainTest::programPlaysThroughTheWindow() {
    const QString path = m_dir->filePath("short.csv");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("id,start,end,from,to,seconds\r\n7,4,4,200,200,1\r\n");
    file.close();
    m_window->fileAnswer = path;
    m_window->findChild<QCheckBox*>("CheckWhite")->click();
    button("cmdProgramStart")->click();  // plays one second of 4 Hz white flashing

    QCOMPARE(m_window->windowTitle(), QString("segment id #7(4Hz)"));
    const QList<QByteArray> frames = m_serial->sentFrames();
    const QByteArray lit(
        "\x01"
        "80FFFFFF\r\n",
        11);
    const QByteArray dark(
        "\x01"
        "00000000\r\n",
        11);
    QVERIFY(frames.size() >= 1 + 7 + 1);
    QCOMPARE(frames.first(), dark);  // the port opening
    QCOMPARE(frames[1], lit);
    QCOMPARE(frames[2], dark);
    QCOMPARE(frames.last(), dark);  // the closing frame
    const qsizetype litFrames = frames.count(lit);
    QVERIFY2(litFrames >= 3 && litFrames <= 5, qPrintable(QString::number(litFrames)));
    QVERIFY(m_window->messages.isEmpty());
}

void FrmMainTest::escapeEndsTheProgramAndSwitchesOff() {
    const QString path = m_dir->filePath("long.csv");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("id,start,end,from,to,seconds\r\n7,4,4,200,200,600\r\n");
    file.close();
    m_window->fileAnswer = path;
    // Escape at the program's first wait, on the control that has the focus at start.
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QComboBox* focus = m_window->findChild<QComboBox*>("ComboCOMPort");
    QTimer::singleShot(0, m_window.get(), [focus] { QTest::keyClick(focus, Qt::Key_Escape); });
    button("cmdProgramStart")->click();  // returns only once the program has ended

    const QByteArray dark(
        "\x01"
        "00000000\r\n",
        11);
    const QList<QByteArray> frames = m_serial->sentFrames();
    QVERIFY(frames.size() >= 3);
    QCOMPARE(frames.last(), dark);
    QVERIFY(!m_window->controller().state().ProgramRunning);
    QVERIFY(!m_window->controller().state().PortOpen);
    QVERIFY(!m_window->controller().port().hasOpenPort());
}

void FrmMainTest::closingDuringASpinWaitsForIt() {
    QSignalSpy unloaded(m_window.get(), &frmMain::unloaded);
    QTimer::singleShot(100, m_window.get(), [this] { m_window->close(); });
    button("cmdSpin")->click();
    QCOMPARE(unloaded.size(), 1);
    QVERIFY(!m_window->isVisible());
    QCOMPARE(m_window->controller().effectsRunning(), 0);
    QFile ini(m_window->controller().settingsFile().path());
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QVERIFY(ini.readAll().contains("VantorbComPort= 3"));
}

void FrmMainTest::exitSavesAndUnloads() {
    QSignalSpy unloaded(m_window.get(), &frmMain::unloaded);
    m_window->controller().ComboFlashColour_Click(0);
    button("cmdExit")->click();
    QCOMPARE(unloaded.size(), 1);
    QVERIFY(!m_window->isVisible());
    QFile ini(m_window->controller().settingsFile().path());
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QVERIFY(ini.readAll().contains("FlashColour= 0"));
}

void FrmMainTest::qtFilter_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("qt");
    QTest::newRow("program") << "Keldara Program|*.CSV|All Files|*.*"
                             << "Keldara Program (*.[cC][sS][vV]);;All Files (*)";
    QTest::newRow("two patterns") << "Text|*.TXT;*.LOG"
                                  << "Text (*.[tT][xX][tT] *.[lL][oO][gG])";
    QTest::newRow("set and digits") << "Sources|*.[CH];A1?.*"
                                    << "Sources (*.[cChH] [aA]1?.*)";
}

void FrmMainTest::qtFilter() {
    QFETCH(QString, filter);
    QFETCH(QString, qt);
    QCOMPARE(frmMain::qtFilter(filter), qt);
}

void FrmMainTest::programChoiceMatchesAnyCase_data() {
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("listed");
    QTest::newRow("mixed case") << "Session.Csv" << true;
    QTest::newRow("upper case") << "B.CSV" << true;
    QTest::newRow("lower case") << "c.csv" << true;
    QTest::newRow("longer extension") << "x.csvx" << false;
    QTest::newRow("other extension") << "notes.txt" << false;
}

void FrmMainTest::programChoiceMatchesAnyCase() {
    QFETCH(QString, fileName);
    QFETCH(bool, listed);
    // The first choice's patterns, matched as a dialog that tells cases apart matches them.
    const QString choice =
        frmMain::qtFilter("Keldara Program|*.CSV|All Files|*.*").section(";;", 0, 0);
    const QStringList patterns = choice.section('(', 1).chopped(1).split(' ');
    QCOMPARE(std::any_of(patterns.begin(), patterns.end(),
                         [&](const QString& pattern) {
                             return QRegularExpression::fromWildcard(pattern, Qt::CaseSensitive)
                                 .match(fileName)
                                 .hasMatch();
                         }),
             listed);
}

QTEST_MAIN(FrmMainTest)
#include "tst_frmMain.moc"
