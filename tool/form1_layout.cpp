// The window's controls: every place, size, text, font and tab index. Positions are relative
// to the parent (the window, or the group box that holds a range box or a channel table).
#include "form1.h"

#include <QComboBox>
#include <QFont>
#include <QFontInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIcon>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QStringList>

#include <algorithm>
#include <vector>

namespace Vorlith {

namespace {

QFont calibri(qreal pointSize, bool bold = false) {
    QFont font(QStringLiteral("Calibri"));
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

const char* const tabIndexProperty = "tabIndex";

void place(QWidget* widget, const char* name, int x, int y, int width, int height, int tabIndex) {
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(x, y, width, height);
    widget->setProperty(tabIndexProperty, tabIndex);
}

QComboBox* makeComboBox(QWidget* parent, const char* name, const QStringList& items, int x, int y,
                        int width, int height, int tabIndex) {
    auto* box = new QComboBox(parent); // not editable: the user picks, never types
    place(box, name, x, y, width, height, tabIndex);
    box->addItems(items);
    box->setCurrentIndex(-1); // no entry is selected until code or user picks one
    return box;
}

QPushButton* makeButton(QWidget* parent, const char* name, const char* text, int x, int y,
                        int width, int height, int tabIndex) {
    auto* button = new QPushButton(QLatin1String(text), parent);
    place(button, name, x, y, width, height, tabIndex);
    button->setAutoDefault(false);
    return button;
}

QGroupBox* makeGroupBox(QWidget* parent, const char* name, int x, int y, int width, int height,
                        int tabIndex) {
    auto* box = new QGroupBox(parent);
    place(box, name, x, y, width, height, tabIndex);
    return box;
}

} // namespace

Label* Form1::makeLabel(QWidget* parent, const char* name, const char* text, int x, int y, int width,
                        int height, const QFont& font, int tabIndex) {
    auto* label = new Label(parent);
    place(label, name, x, y, width, height, tabIndex);
    label->setFont(font);
    // The designed sizes leave a sixth of the font height beside the text on either side.
    const int padding = qRound(QFontInfo(font).pixelSize() / 6.0);
    label->setContentsMargins(padding, 0, padding, 0);
    label->setText(QLatin1String(text)); // sizes the label to its text
    return label;
}

void Form1::InitializeComponent() {
    setObjectName(QStringLiteral("Form1"));
    setUpdatesEnabled(false);

    const QFont regular = calibri(12);
    const QFont title = calibri(20.25);
    const QFont bold = calibri(12, true);

    // Window-level controls of both panels.
    label1 = makeLabel(this, "label1", "Device 1", 12, 18, 107, 33, title, 0);
    label2 = makeLabel(this, "label2", "Device 2", 465, 18, 107, 33, title, 1);
    comboBox5 = makeComboBox(this, "comboBox5", {}, 148, 27, 79, 20, 57);
    button3 = makeButton(this, "button3", "Search", 251, 25, 68, 22, 58);
    comboBox6 = makeComboBox(this, "comboBox6", {}, 605, 29, 79, 20, 59);
    button4 = makeButton(this, "button4", "Search", 712, 27, 68, 22, 60);
    label3 = makeLabel(this, "label3", "Name:", 58, 59, 51, 19, regular, 2);
    label4 = makeLabel(this, "label4", "Channel Number:", 58, 88, 121, 19, regular, 3);
    label5 = makeLabel(this, "label5", "Firmware Version:", 58, 118, 125, 19, regular, 4);
    label8 = makeLabel(this, "label8", "Name:", 511, 59, 51, 19, regular, 5);
    label7 = makeLabel(this, "label7", "Channel Number:", 511, 88, 121, 19, regular, 6);
    label6 = makeLabel(this, "label6", "Firmware Version:", 511, 118, 125, 19, regular, 7);
    label65 = makeLabel(this, "label65", "None", 109, 59, 46, 19, bold, 51);
    label66 = makeLabel(this, "label66", "None", 182, 88, 46, 19, bold, 52);
    label67 = makeLabel(this, "label67", "None", 189, 118, 46, 19, bold, 53);
    label68 = makeLabel(this, "label68", "None", 568, 59, 46, 19, bold, 54);
    label69 = makeLabel(this, "label69", "None", 638, 88, 46, 19, bold, 55);
    label70 = makeLabel(this, "label70", "None", 646, 118, 46, 19, bold, 56);
    groupBox1 = makeGroupBox(this, "groupBox1", 62, 143, 355, 68, 16);
    groupBox2 = makeGroupBox(this, "groupBox2", 515, 144, 339, 67, 17);
    label11 = makeLabel(this, "label11", "Channel", 78, 229, 62, 19, regular, 18);
    label20 = makeLabel(this, "label20", "Value", 165, 229, 45, 19, regular, 28);
    label21 = makeLabel(this, "label21", "Input Range", 247, 229, 87, 19, regular, 29);
    label64 = makeLabel(this, "label64", "Channel", 524, 229, 62, 19, regular, 47);
    label63 = makeLabel(this, "label63", "Value", 611, 229, 45, 19, regular, 48);
    label62 = makeLabel(this, "label62", "Input Range", 693, 229, 87, 19, regular, 49);
    groupBox3 = makeGroupBox(this, "groupBox3", 84, 249, 280, 249, 46);
    groupBox4 = makeGroupBox(this, "groupBox4", 530, 249, 280, 249, 50);
    RefreshBtn1 = makeButton(this, "RefreshBtn1", "Refresh", 175, 504, 75, 23, 61);
    RefreshBtn2 = makeButton(this, "RefreshBtn2", "Refresh", 621, 504, 75, 23, 62);

    // Range boxes. These list entries are placeholders until a Search replaces them.
    const QStringList channels = {"0", "1", "2", "3", "4", "5", "6", "7"};
    const QStringList ranges = {"0~10V", "4~20mA"};
    label9 = makeLabel(groupBox1, "label9", "Channel      Input range", 10, 8, 160, 19, regular, 8);
    comboBox1 = makeComboBox(groupBox1, "comboBox1", channels, 14, 30, 53, 20, 9);
    comboBox2 = makeComboBox(groupBox1, "comboBox2", ranges, 95, 30, 125, 20, 10);
    button1 = makeButton(groupBox1, "button1", "Apply", 244, 29, 83, 20, 11);
    label10 = makeLabel(groupBox2, "label10", "Channel      Input range", 9, 8, 160, 19, regular, 12);
    comboBox4 = makeComboBox(groupBox2, "comboBox4", channels, 13, 30, 53, 20, 13);
    comboBox3 = makeComboBox(groupBox2, "comboBox3", ranges, 94, 30, 125, 20, 14);
    button2 = makeButton(groupBox2, "button2", "Apply", 243, 29, 83, 20, 15);

    // Channel tables: one row per channel, number / value / range. The rows are not evenly
    // spaced (29 and 28 pixels below rows 4 and 5).
    static const int rowY[rowCount] = {10, 40, 70, 100, 130, 159, 187, 217};
    const std::pair<QGroupBox*, const RowLabels*> tables[] = {{groupBox3, rowLabels(1)}, {groupBox4, rowLabels(2)}};
    for (const auto& [table, rows] : tables) {
        for (int channel = 0; channel < rowCount; ++channel) {
            const RowLabels& row = rows[channel];
            const QByteArray number = QByteArray::number(channel);
            this->*row.number = makeLabel(table, row.numberName, number.constData(), 14, rowY[channel], 17, 19,
                                          regular, 20 + channel);
            this->*row.value = makeLabel(table, row.valueName, "0.00", 87, rowY[channel], 37, 19, regular,
                                         30 + channel);
            this->*row.range = makeLabel(table, row.rangeName, "0~10V", 182, rowY[channel], 50, 19, regular,
                                         38 + channel);
        }
    }

    connect(comboBox5, &QComboBox::currentIndexChanged, this, &Form1::comboBox5_SelectedIndexChanged);
    connect(comboBox6, &QComboBox::currentIndexChanged, this, &Form1::comboBox6_SelectedIndexChanged);
    connect(button3, &QPushButton::clicked, this, &Form1::button3_Click);
    connect(button4, &QPushButton::clicked, this, &Form1::button4_Click);
    connect(button1, &QPushButton::clicked, this, &Form1::button1_Click);
    connect(button2, &QPushButton::clicked, this, &Form1::button2_Click);
    connect(RefreshBtn1, &QPushButton::clicked, this, &Form1::RefreshBtn1_Click);
    connect(RefreshBtn2, &QPushButton::clicked, this, &Form1::RefreshBtn2_Click);

    applyTabOrder();

    // A fixed-size tool window with a close box only.
    setWindowTitle(QStringLiteral("Vorliths"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(877, 537);
    QIcon icon;
    icon.addFile(QStringLiteral(":/vorlith/vorlith-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/vorlith/vorlith-32.png"), QSize(32, 32));
    setWindowIcon(icon);
    // The lightest shade of the button colours, as the window's background.
    QPalette background = palette();
    background.setColor(QPalette::Window, background.color(QPalette::Light));
    setPalette(background);
    setAutoFillBackground(true);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    setUpdatesEnabled(true);
}

// Keyboard focus follows the stored tab indexes: a control inside a group box comes where
// its group box comes, then by its own index.
void Form1::applyTabOrder() {
    struct Stop {
        std::vector<int> path;
        QWidget* widget;
    };
    std::vector<Stop> stops;
    for (QWidget* widget : findChildren<QWidget*>()) {
        if (!(widget->focusPolicy() & Qt::TabFocus) || !widget->property(tabIndexProperty).isValid())
            continue;
        std::vector<int> path;
        for (QWidget* w = widget; w && w != this; w = w->parentWidget())
            path.insert(path.begin(), w->property(tabIndexProperty).toInt());
        stops.push_back({std::move(path), widget});
    }
    std::sort(stops.begin(), stops.end(), [](const Stop& a, const Stop& b) { return a.path < b.path; });
    for (size_t i = 1; i < stops.size(); ++i)
        QWidget::setTabOrder(stops[i - 1].widget, stops[i].widget);
}

const Form1::RowLabels* Form1::rowLabels(int btnIndex) {
    static const RowLabels panel1Rows[rowCount] = {
        {&Form1::label12, "label12", &Form1::label22, "label22", &Form1::label30, "label30"},
        {&Form1::label13, "label13", &Form1::label23, "label23", &Form1::label31, "label31"},
        {&Form1::label14, "label14", &Form1::label24, "label24", &Form1::label32, "label32"},
        {&Form1::label15, "label15", &Form1::label25, "label25", &Form1::label33, "label33"},
        {&Form1::label16, "label16", &Form1::label26, "label26", &Form1::label34, "label34"},
        {&Form1::label17, "label17", &Form1::label27, "label27", &Form1::label35, "label35"},
        {&Form1::label18, "label18", &Form1::label28, "label28", &Form1::label36, "label36"},
        {&Form1::label19, "label19", &Form1::label29, "label29", &Form1::label37, "label37"},
    };
    // Panel 2's label numbers run downwards.
    static const RowLabels panel2Rows[rowCount] = {
        {&Form1::label61, "label61", &Form1::label53, "label53", &Form1::label45, "label45"},
        {&Form1::label60, "label60", &Form1::label52, "label52", &Form1::label44, "label44"},
        {&Form1::label59, "label59", &Form1::label51, "label51", &Form1::label43, "label43"},
        {&Form1::label58, "label58", &Form1::label50, "label50", &Form1::label42, "label42"},
        {&Form1::label57, "label57", &Form1::label49, "label49", &Form1::label41, "label41"},
        {&Form1::label56, "label56", &Form1::label48, "label48", &Form1::label40, "label40"},
        {&Form1::label55, "label55", &Form1::label47, "label47", &Form1::label39, "label39"},
        {&Form1::label54, "label54", &Form1::label46, "label46", &Form1::label38, "label38"},
    };
    return btnIndex == 1 ? panel1Rows : panel2Rows;
}

Form1::Panel Form1::panel(int btnIndex) const {
    Panel p = btnIndex == 1
                  ? Panel{comboBox5, label65, label66, label67, comboBox1, comboBox2, button1, RefreshBtn1, {}, {}, {}}
                  : Panel{comboBox6, label68, label69, label70, comboBox4, comboBox3, button2, RefreshBtn2, {}, {}, {}};
    const RowLabels* rows = rowLabels(btnIndex);
    for (int channel = 0; channel < rowCount; ++channel) {
        p.number[channel] = this->*rows[channel].number;
        p.value[channel] = this->*rows[channel].value;
        p.range[channel] = this->*rows[channel].range;
    }
    return p;
}

} // namespace Vorlith
