// Vorlith's one window: two identical panels, "Device 1" and "Device 2", each with a port
// list and Search, the module's identity, a range box (channel, range, Apply) and a table of
// eight channel rows with Refresh below. Every operation runs one device cycle and writes its
// diagnostic lines to standard output; only library-binding failures are shown in boxes.
#pragma once

#include "device_cycle.h"

#include <QLabel>
#include <QWidget>

#include <array>

class QComboBox;
class QGroupBox;
class QPushButton;
class QShowEvent;

namespace Vorlith {

struct DeviceCycle;

// A label that sizes itself to its text whenever the text changes.
class Label : public QLabel {
public:
    using QLabel::QLabel;
    void setText(const QString& text) {
        QLabel::setText(text);
        adjustSize();
    }
};

class Form1 : public QWidget {
    Q_OBJECT

public:
    explicit Form1(ToolServices services = {}, QWidget* parent = nullptr);
    ~Form1() override;

    // Rows of a channel table; the module may have fewer channels, never a row more.
    static constexpr int rowCount = 8;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The controls of one panel, as the operations address them (btnIndex 1 or 2).
    struct Panel {
        QComboBox* portList;
        Label* description;
        Label* count;
        Label* firmware;
        QComboBox* channelList;
        QComboBox* rangeList;
        QPushButton* apply;
        QPushButton* refresh;
        std::array<Label*, rowCount> number;
        std::array<Label*, rowCount> value;
        std::array<Label*, rowCount> range;
    };

    void InitializeComponent();
    Label* makeLabel(QWidget* parent, const char* name, const char* text, int x, int y, int width,
                     int height, const QFont& font, int tabIndex);
    void applyTabOrder();
    // The members that make up each row of a panel's channel table, with their control names.
    struct RowLabels {
        Label* Form1::*number;
        const char* numberName;
        Label* Form1::*value;
        const char* valueName;
        Label* Form1::*range;
        const char* rangeName;
    };
    static const RowLabels* rowLabels(int btnIndex);
    Panel panel(int btnIndex) const;

    // Event handlers, named after control and event.
    void Form1_Load();
    void comboBox5_SelectedIndexChanged();
    void comboBox6_SelectedIndexChanged();
    void button3_Click();
    void button4_Click();
    void button1_Click();
    void button2_Click();
    void RefreshBtn1_Click();
    void RefreshBtn2_Click();

    void AICheck();
    void AISearch(int btnIndex);
    void AISetValue(int btnIndex);
    void AIGetValue(int btnIndex);

    // Shared by the three operations.
    void refreshChannels(const Panel& p, DeviceCycle& cycle, int count);
    static void applyRowVisibility(const Panel& p, int count);
    static void fillRangeBox(const Panel& p, int count);
    static void setPanelControlsEnabled(const Panel& p, bool enabled);

    ToolServices services_;
    bool loaded_ = false;

    Label* label1 = nullptr;
    Label* label2 = nullptr;
    Label* label3 = nullptr;
    Label* label4 = nullptr;
    Label* label5 = nullptr;
    Label* label6 = nullptr;
    Label* label7 = nullptr;
    Label* label8 = nullptr;
    Label* label9 = nullptr;
    Label* label10 = nullptr;
    Label* label11 = nullptr;
    Label* label12 = nullptr;
    Label* label13 = nullptr;
    Label* label14 = nullptr;
    Label* label15 = nullptr;
    Label* label16 = nullptr;
    Label* label17 = nullptr;
    Label* label18 = nullptr;
    Label* label19 = nullptr;
    Label* label20 = nullptr;
    Label* label21 = nullptr;
    Label* label22 = nullptr;
    Label* label23 = nullptr;
    Label* label24 = nullptr;
    Label* label25 = nullptr;
    Label* label26 = nullptr;
    Label* label27 = nullptr;
    Label* label28 = nullptr;
    Label* label29 = nullptr;
    Label* label30 = nullptr;
    Label* label31 = nullptr;
    Label* label32 = nullptr;
    Label* label33 = nullptr;
    Label* label34 = nullptr;
    Label* label35 = nullptr;
    Label* label36 = nullptr;
    Label* label37 = nullptr;
    Label* label38 = nullptr;
    Label* label39 = nullptr;
    Label* label40 = nullptr;
    Label* label41 = nullptr;
    Label* label42 = nullptr;
    Label* label43 = nullptr;
    Label* label44 = nullptr;
    Label* label45 = nullptr;
    Label* label46 = nullptr;
    Label* label47 = nullptr;
    Label* label48 = nullptr;
    Label* label49 = nullptr;
    Label* label50 = nullptr;
    Label* label51 = nullptr;
    Label* label52 = nullptr;
    Label* label53 = nullptr;
    Label* label54 = nullptr;
    Label* label55 = nullptr;
    Label* label56 = nullptr;
    Label* label57 = nullptr;
    Label* label58 = nullptr;
    Label* label59 = nullptr;
    Label* label60 = nullptr;
    Label* label61 = nullptr;
    Label* label62 = nullptr;
    Label* label63 = nullptr;
    Label* label64 = nullptr;
    Label* label65 = nullptr;
    Label* label66 = nullptr;
    Label* label67 = nullptr;
    Label* label68 = nullptr;
    Label* label69 = nullptr;
    Label* label70 = nullptr;
    QComboBox* comboBox1 = nullptr;
    QComboBox* comboBox2 = nullptr;
    QComboBox* comboBox3 = nullptr;
    QComboBox* comboBox4 = nullptr;
    QComboBox* comboBox5 = nullptr;
    QComboBox* comboBox6 = nullptr;
    QPushButton* button1 = nullptr;
    QPushButton* button2 = nullptr;
    QPushButton* button3 = nullptr;
    QPushButton* button4 = nullptr;
    QPushButton* RefreshBtn1 = nullptr;
    QPushButton* RefreshBtn2 = nullptr;
    QGroupBox* groupBox1 = nullptr;
    QGroupBox* groupBox2 = nullptr;
    QGroupBox* groupBox3 = nullptr;
    QGroupBox* groupBox4 = nullptr;
};

// Fusion everywhere, so the window looks the same on every desktop and in screenshots.
void applyToolStyle();

} // namespace Vorlith
