#include "app/frmMain.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Controller.h"
#include "app/PortList.h"
#include "core/QtClockPump.h"
#include "core/QtFlashTimer.h"
#include "device/Wsc32.h"

namespace {

const QString ApplicationTitle = QStringLiteral("Orlesse");

template <typename Widget>
Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// The wildcard pattern with each letter standing for itself in either case ("*.CSV" gives
// "*.[cC][sS][vV]"), so that "Session.Csv" is listed beside "b.csv". Qt's own dialog ignores
// case anyway; the native choosers of case-sensitive systems need the sets.
QString anyLetterCase(const QString& pattern) {
    QString result;
    bool inSet = false;  // within a "[...]" set, a letter adds its other case to the set
    for (const QChar c : pattern) {
        const QString both = QString(c.toLower()) + c.toUpper();
        if (c == QLatin1Char('[')) {
            inSet = true;
        } else if (c == QLatin1Char(']')) {
            inSet = false;
        }
        if (both.at(0) == both.at(1)) {
            result += c;
        } else {
            result += inSet ? both : QLatin1Char('[') + both + QLatin1Char(']');
        }
    }
    return result;
}

}  // namespace

frmMain::frmMain(std::unique_ptr<Wsc32> serial, std::unique_ptr<PortList> ports,
                 ProcessINIFile settingsFile, QString programFolder, QWidget* parent)
    : QWidget(parent),
      m_serial(std::move(serial)),
      m_ports(std::move(ports)),
      m_timer(std::make_unique<QtFlashTimer>()),
      m_clock(std::make_unique<QtClockPump>()) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(ApplicationTitle);
    setWindowIcon(QIcon(QStringLiteral(":/orlesse.png")));
    buildControls();
    m_controller = std::make_unique<Controller>(*m_serial, *m_timer, *m_clock, *this, *m_ports,
                                                std::move(settingsFile), std::move(programFolder));
    routeEvents();
    m_controller->Form_Load();
}

frmMain::~frmMain() = default;

void frmMain::buildControls() {
    auto button = [this](const char* name, const QString& caption) {
        return named(new QPushButton(caption, this), name);
    };
    cmdFlashOrlesse = button("cmdFlashOrlesse", QStringLiteral("Flash the Orlesse"));
    cmdStop = button("cmdStop", QStringLiteral("Stop Flashing"));
    cmdResetColours = button("cmdResetColours", QStringLiteral("Reset Colours"));
    cmdSwitchOff = button("cmdSwitchOff", QStringLiteral("Switch Off"));
    cmdSpin = button("cmdSpin", QStringLiteral("Spin"));
    cmdGradient = button("cmdGradient", QStringLiteral("Gradient"));
    cmdProgramStart = button("cmdProgramStart", QStringLiteral("Start Program"));
    cndProgramEnd = button("cndProgramEnd", QStringLiteral("End Program"));
    cmdExit = button("cmdExit", QStringLiteral("Exit"));

    ComboCOMPort = named(new QComboBox(this), "ComboCOMPort");
    ComboFlashRate = named(new QComboBox(this), "ComboFlashRate");
    ComboFlashColour = named(new QComboBox(this), "ComboFlashColour");
    ComboBrightness = named(new QComboBox(this), "ComboBrightness");
    for (QComboBox* combo : {ComboCOMPort, ComboFlashRate, ComboFlashColour, ComboBrightness}) {
        combo->setEditable(false);
        combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    }
    CheckWhite = named(new QCheckBox(QStringLiteral("Flash White LED's"), this), "CheckWhite");
    Label1 = named(new QLabel(QStringLiteral("COM Port:"), this), "Label1");
    Label2 = named(new QLabel(QStringLiteral("Flash Rate:"), this), "Label2");
    Label3 = named(new QLabel(QStringLiteral("Flash Colour:"), this), "Label3");
    Label4 = named(new QLabel(QStringLiteral("Brightness"), this), "Label4");
    for (QLabel* label : {Label1, Label2, Label3, Label4}) {
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    Line1 = named(new QFrame(this), "Line1");
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Sunken);

    // Eight action buttons in two columns of four rows, the line, then the settings rows with
    // their labels on the left, Exit beside the COM port row and the white box at the bottom.
    auto* buttons = new QGridLayout;
    buttons->setHorizontalSpacing(12);
    buttons->addWidget(cmdFlashOrlesse, 0, 0);
    buttons->addWidget(cmdStop, 0, 1);
    buttons->addWidget(cmdResetColours, 1, 0);
    buttons->addWidget(cmdSwitchOff, 1, 1);
    buttons->addWidget(cmdSpin, 2, 0);
    buttons->addWidget(cmdGradient, 2, 1);
    buttons->addWidget(cmdProgramStart, 3, 0);
    buttons->addWidget(cndProgramEnd, 3, 1);

    auto* settingsRows = new QGridLayout;
    settingsRows->addWidget(Label2, 0, 0);
    settingsRows->addWidget(ComboFlashRate, 0, 1, Qt::AlignLeft);
    settingsRows->addWidget(Label3, 1, 0);
    settingsRows->addWidget(ComboFlashColour, 1, 1);
    settingsRows->addWidget(Label4, 2, 0);
    settingsRows->addWidget(ComboBrightness, 2, 1);
    settingsRows->addWidget(Label1, 3, 0);
    settingsRows->addWidget(ComboCOMPort, 3, 1);
    settingsRows->addWidget(cmdExit, 3, 2, 2, 1);
    settingsRows->addWidget(CheckWhite, 4, 0, 1, 2);
    settingsRows->setColumnStretch(2, 1);
    cmdExit->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    ComboCOMPort->setMinimumContentsLength(6);
    ComboFlashColour->setMinimumContentsLength(6);
    ComboBrightness->setMinimumContentsLength(6);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addSpacing(6);
    layout->addWidget(Line1);
    layout->addSpacing(6);
    layout->addLayout(settingsRows);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Tab order of the original form: the COM port list first, so it has the focus at start.
    const QList<QWidget*> order{ComboCOMPort,    cmdFlashOrlesse, cmdStop,          ComboFlashRate,
                                cmdExit,         cmdResetColours, ComboFlashColour, cmdSwitchOff,
                                ComboBrightness, cmdSpin,         cmdGradient,      CheckWhite,
                                cmdProgramStart, cndProgramEnd};
    for (int i = 0; i + 1 < order.size(); ++i) {
        QWidget::setTabOrder(order[i], order[i + 1]);
    }
}

void frmMain::routeEvents() {
    Controller* c = m_controller.get();
    connect(cmdFlashOrlesse, &QPushButton::clicked, this, [c] { c->cmdFlashOrlesse_Click(); });
    connect(cmdStop, &QPushButton::clicked, this, [c] { c->cmdStop_Click(); });
    connect(cmdSwitchOff, &QPushButton::clicked, this, [c] { c->cmdSwitchOff_Click(); });
    connect(cmdGradient, &QPushButton::clicked, this, [c] { c->cmdGradient_Click(); });
    connect(cmdSpin, &QPushButton::clicked, this, [c] { c->cmdSpin_Click(); });
    connect(cmdResetColours, &QPushButton::clicked, this, [c] { c->cmdResetColours_Click(); });
    connect(cmdProgramStart, &QPushButton::clicked, this, [c] { c->cmdProgramStart_Click(); });
    connect(cndProgramEnd, &QPushButton::clicked, this, [c] { c->cndProgramEnd_Click(); });
    connect(cmdExit, &QPushButton::clicked, this, [c] { c->cmdExit_Click(); });
    connect(CheckWhite, &QCheckBox::clicked, this,
            [this, c] { c->CheckWhite_Click(CheckWhite->isChecked() ? 1 : 0); });
    // activated: a user's choice, also of the item already shown.
    connect(ComboCOMPort, &QComboBox::activated, this,
            [this, c](int index) { c->ComboCOMPort_Click(ComboCOMPort->itemText(index)); });
    connect(ComboFlashRate, &QComboBox::activated, this,
            [c](int index) { c->ComboFlashRate_Click(index); });
    connect(ComboFlashColour, &QComboBox::activated, this,
            [c](int index) { c->ComboFlashColour_Click(index); });
    connect(ComboBrightness, &QComboBox::activated, this,
            [c](int index) { c->ComboBrightness_Click(index); });
}

QComboBox* frmMain::list(ListId id) const {
    switch (id) {
        case ListId::COMPort:
            return ComboCOMPort;
        case ListId::FlashRate:
            return ComboFlashRate;
        case ListId::FlashColour:
            return ComboFlashColour;
        case ListId::Brightness:
            return ComboBrightness;
    }
    return nullptr;
}

int frmMain::whiteBoxValue() {
    return CheckWhite->isChecked() ? 1 : 0;
}

void frmMain::setTitle(const QString& title) {
    setWindowTitle(title);
}

void frmMain::showMessage(const QString& text) {
    messageBox(text);
}

void frmMain::messageBox(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, ApplicationTitle, text, QMessageBox::Ok, this);
    box.exec();
}

QString frmMain::chooseOpenFile(const QString& folder, const QString& filter) {
    return openFileDialog(folder, qtFilter(filter));
}

QString frmMain::openFileDialog(const QString& folder, const QString& filter) {
    // The choices read by their names alone, without their patterns.
    return QFileDialog::getOpenFileName(this, QString(), folder, filter, nullptr,
                                        QFileDialog::HideNameFilterDetails);
}

QString frmMain::qtFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList choices;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            patterns.append(pattern == QLatin1String("*.*") ? QStringLiteral("*")
                                                            : anyLetterCase(pattern));
        }
        choices.append(QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(QLatin1Char(' '))));
    }
    return choices.join(QStringLiteral(";;"));
}

void frmMain::addListItem(ListId id, const QString& text, const QString& toolTip) {
    QComboBox* combo = list(id);
    const QSignalBlocker blocker(combo);
    combo->addItem(text);
    if (combo->count() == 1) {
        combo->setCurrentIndex(-1);  // a list shows no choice until one is made
    }
    if (!toolTip.isEmpty()) {
        combo->setItemData(combo->count() - 1, toolTip, Qt::ToolTipRole);
    }
}

void frmMain::selectListItem(ListId id, int index) {
    QComboBox* combo = list(id);
    const QSignalBlocker blocker(combo);
    combo->setCurrentIndex(index);
}

void frmMain::closeWindow() {
    close();
}

void frmMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    ComboCOMPort->setFocus(Qt::OtherFocusReason);
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (m_unloaded) {
        event->accept();
        return;
    }
    if (!m_controller->Form_QueryUnload()) {
        // An effect still runs below this event: hide now, and close for good when it ends.
        hide();
        event->ignore();
        return;
    }
    m_controller->Form_Unload();
    m_unloaded = true;
    event->accept();
    emit unloaded();
}
