#include "window/frmMain.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QStyleOption>
#include <algorithm>
#include <functional>

#include "app/Controller.h"
#include "app/PortList.h"
#include "core/QtClockPump.h"
#include "core/QtFlashTimer.h"
#include "core/RealtimePriority.h"
#include "device/ComPorts.h"
#include "device/Wsc32.h"
#include "widgets/DropDownList.h"

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

// Twips in one pixel at 96 dots per inch.
constexpr double TwipsPerPixel = 15.0;
// The client area, in twips.
constexpr int ClientWidth = 3885;
constexpr int ClientHeight = 4440;
// Line1 runs from (LineLeft, LineY) to (LineRight, LineY), in twips.
constexpr int LineLeft = 240;
constexpr int LineRight = 3720;
constexpr int LineY = 2280;

int toPixels(int twips, double scale) {
    return qRound(twips * scale / TwipsPerPixel);
}

// The size a control of the style's given kind needs to show `content` whole: the content plus
// the style's frame, indicator and margins. The horizontal room is measured on a wide content,
// so a style's least width for a captioned button (80 pixels in Fusion) is not taken for room
// that the caption needs.
QSize styledSize(const QWidget* widget, QStyle::ContentsType type, const QStyleOption& option,
                 QSize content) {
    constexpr int Wide = 10000;
    const QStyle* style = widget->style();
    const int margins =
        style->sizeFromContents(type, &option, QSize(Wide, content.height()), widget).width() -
        Wide;
    const int height = style->sizeFromContents(type, &option, content, widget).height();
    return {content.width() + margins, height};
}

// The least size at which the control shows its caption, or for a list its longest item, whole
// in its font.
QSize captionSize(const QWidget* widget) {
    const QFontMetrics metrics = widget->fontMetrics();
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        return label->sizeHint();
    }
    if (const auto* combo = qobject_cast<const QComboBox*>(widget)) {
        int widest = 0;
        for (int i = 0; i < combo->count(); ++i) {
            widest = std::max(widest, metrics.horizontalAdvance(combo->itemText(i)));
        }
        // Ports added when the list opens must fit as well as those of the start-up.
        if (dynamic_cast<const DropDownList*>(combo) != nullptr) {
            widest = std::max(
                widest, metrics.horizontalAdvance(ComPorts::displayName(ComPorts::MaxComNumber)));
        }
        QStyleOptionComboBox option;
        option.initFrom(combo);
        return styledSize(combo, QStyle::CT_ComboBox, option, {widest, metrics.height()});
    }
    const auto* button = qobject_cast<const QAbstractButton*>(widget);
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const auto* push = qobject_cast<const QPushButton*>(button);
    if (push != nullptr && push->autoDefault()) {
        option.features |= QStyleOptionButton::AutoDefaultButton;
    }
    return styledSize(button, push != nullptr ? QStyle::CT_PushButton : QStyle::CT_CheckBox, option,
                      metrics.size(Qt::TextShowMnemonic, button->text()));
}

}  // namespace

frmMain::frmMain(std::unique_ptr<Wsc32> serial, std::unique_ptr<PortList> ports,
                 ProcessINIFile settingsFile, QString programFolder, QWidget* parent)
    : frmMain(
          std::move(serial), std::move(ports), std::move(settingsFile), std::move(programFolder),
          Timing{std::make_unique<QtFlashTimer>(), std::make_unique<QtClockPump>(), true}, parent) {
}

frmMain::frmMain(std::unique_ptr<Wsc32> serial, std::unique_ptr<PortList> ports,
                 ProcessINIFile settingsFile, QString programFolder, Timing timing, QWidget* parent)
    : QWidget(parent),
      m_serial(std::move(serial)),
      m_ports(std::move(ports)),
      m_timer(std::move(timing.timer)),
      m_clock(std::move(timing.clock)) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(ApplicationTitle);
    setWindowIcon(QIcon(QStringLiteral(":/orlesse.png")));
    buildControls();
    m_controller = std::make_unique<Controller>(*m_serial, *m_timer, *m_clock, *this, *m_ports,
                                                std::move(settingsFile), std::move(programFolder));
    if (timing.realtime) {
        m_realtime = std::make_unique<RealtimePriority>();
        m_controller->core().setPrecisionObserver(
            [this](bool open) { m_realtime->setRaised(open); });
    }
    routeEvents();
    m_controller->Form_Load();
    placeControls();  // after the lists are filled: their items count among the captions
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

    ComboCOMPort = named(new DropDownList(this), "ComboCOMPort");
    ComboFlashRate = named(new QComboBox(this), "ComboFlashRate");
    ComboFlashColour = named(new QComboBox(this), "ComboFlashColour");
    ComboBrightness = named(new QComboBox(this), "ComboBrightness");
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

    // Tab order of the original form: the COM port list first, so it has the focus at start.
    const QList<QWidget*> order{ComboCOMPort,    cmdFlashOrlesse, cmdStop,          ComboFlashRate,
                                cmdExit,         cmdResetColours, ComboFlashColour, cmdSwitchOff,
                                ComboBrightness, cmdSpin,         cmdGradient,      CheckWhite,
                                cmdProgramStart, cndProgramEnd};
    for (int i = 0; i + 1 < order.size(); ++i) {
        QWidget::setTabOrder(order[i], order[i + 1]);
    }
}

// Every control at its Left, Top, Width and Height in twips, all scaled by one factor: the
// screen's logical dpi over 96, raised as far as the caption that needs the most room asks. The
// window keeps its proportions on every screen and in every font, and no caption is clipped.
void frmMain::placeControls() {
    const std::pair<QWidget*, QRect> places[] = {
        {ComboCOMPort, {1320, 3600, 1095, 315}},   {Label1, {480, 3720, 735, 255}},
        {cmdFlashOrlesse, {120, 120, 1695, 375}},  {cmdStop, {2040, 120, 1695, 375}},
        {Label2, {360, 2520, 855, 255}},           {ComboFlashRate, {1320, 2520, 735, 315}},
        {cmdExit, {2640, 3720, 1095, 495}},        {cmdResetColours, {120, 600, 1695, 375}},
        {Label3, {240, 2880, 975, 255}},           {ComboFlashColour, {1320, 2880, 1095, 315}},
        {cmdSwitchOff, {2040, 600, 1695, 375}},    {ComboBrightness, {1320, 3240, 1095, 315}},
        {Label4, {240, 3240, 975, 255}},           {cmdSpin, {120, 1080, 1695, 375}},
        {cmdGradient, {2040, 1080, 1695, 375}},    {CheckWhite, {480, 4080, 1935, 255}},
        {cmdProgramStart, {120, 1560, 1695, 375}}, {cndProgramEnd, {2040, 1560, 1695, 375}},
    };
    m_scale = logicalDpiX() / 96.0;
    for (const auto& [widget, twips] : places) {
        const QSize need = captionSize(widget);
        m_scale = std::max({m_scale, need.width() * TwipsPerPixel / twips.width(),
                            need.height() * TwipsPerPixel / twips.height()});
    }
    for (const auto& [widget, twips] : places) {
        widget->setGeometry(toPixels(twips.left(), m_scale), toPixels(twips.top(), m_scale),
                            toPixels(twips.width(), m_scale), toPixels(twips.height(), m_scale));
    }
    // The line frame draws its line across the middle of a band 3 pixels high.
    const int lineLeft = toPixels(LineLeft, m_scale);
    Line1->setGeometry(lineLeft, toPixels(LineY, m_scale) - 1,
                       toPixels(LineRight, m_scale) - lineLeft, 3);
    setFixedSize(toPixels(ClientWidth, m_scale), toPixels(ClientHeight, m_scale));
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
    static_cast<DropDownList*>(ComboCOMPort)->onDropDown = [c] { c->ComboCOMPort_DropDown(); };
    // activated: a user's choice, also of the item already shown.
    connect(ComboCOMPort, &QComboBox::activated, this,
            [this, c](int index) { c->ComboCOMPort_Click(ComboCOMPort->itemText(index)); });
    connect(ComboFlashRate, &QComboBox::activated, this,
            [c](int index) { c->ComboFlashRate_Click(index); });
    connect(ComboFlashColour, &QComboBox::activated, this,
            [c](int index) { c->ComboFlashColour_Click(index); });
    connect(ComboBrightness, &QComboBox::activated, this,
            [c](int index) { c->ComboBrightness_Click(index); });
    // Escape, whatever has the focus, ends a light program and switches the light off: a way
    // out of flashing that needs no aim.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setObjectName(QStringLiteral("escapeShortcut"));
    connect(escape, &QShortcut::activated, this, [c] {
        c->cndProgramEnd_Click();
        c->cmdSwitchOff_Click();
    });
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

void frmMain::insertListItem(ListId id, int index, const QString& text, const QString& toolTip) {
    QComboBox* combo = list(id);
    const QSignalBlocker blocker(combo);
    const int chosen = combo->currentIndex();
    combo->insertItem(index, text);
    if (!toolTip.isEmpty()) {
        combo->setItemData(index, toolTip, Qt::ToolTipRole);
    }
    // The choice moves with its item by itself; but the first item put into an empty list
    // would become its choice.
    if (chosen < 0) {
        combo->setCurrentIndex(-1);
    }
}

void frmMain::setListItemToolTip(ListId id, int index, const QString& toolTip) {
    list(id)->setItemData(index, toolTip, Qt::ToolTipRole);
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
