// Vorlith against simulated modules: layout, start-up, the three operations and their
// diagnostic lines, the library-binding failures, and the screenshot option of the program.
#include "tool_fixture.h"

#include "marshal.h"
#include "tessaro_library.h"

#include <QApplication>
#include <QFileInfo>
#include <QGroupBox>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <filesystem>
#include <fstream>

using namespace tool_test;
using tessaro::sim::Fault;
using tessaro::sim::ModuleSimulator;
using tessaro::test::IsolatedDir;
using tessaro::test::StdoutCapture;

// Stops the test function when a helper's check failed.
#define CHECKED(call)                                                                                  \
    do {                                                                                               \
        call;                                                                                          \
        if (QTest::currentTestFailed())                                                                \
            return;                                                                                    \
    } while (false)

namespace {

const QString searchPort = QStringLiteral("COM1");

// A stand-in port: any character device passes the tool's port listing.
void linkFakePort(const IsolatedDir& dir, const std::string& name, const std::string& target = "/dev/null") {
    std::filesystem::create_symlink(target, dir.portDir() + "/" + name);
}

std::string toolLibraryPath(const std::string& fileName) {
    return QFileInfo(QStringLiteral(TESSARO_TEST_LIBRARY)).absolutePath().toStdString() + "/" + fileName;
}

// Rows 0 to count-1 show the given range and value texts; rows from `visible` on are hidden.
void verifyRows(const Tool& tool, int panel, const QStringList& ranges, const QStringList& values, int visible) {
    const PanelNames p = panelNames(panel);
    for (int row = 0; row < ranges.size(); ++row) {
        QCOMPARE(tool.text(p.range[row]), ranges[row]);
        QCOMPARE(tool.text(p.value[row]), values[row]);
    }
    for (int row = 0; row < 8; ++row) {
        const bool shown = row < visible;
        QCOMPARE(tool.label(p.number[row])->isVisible(), shown);
        QCOMPARE(tool.label(p.value[row])->isVisible(), shown);
        QCOMPARE(tool.label(p.range[row])->isVisible(), shown);
    }
}

QStringList numbers(int count) {
    QStringList result;
    for (int n = 0; n < count; ++n)
        result.append(QString::number(n));
    return result;
}

QByteArray catalogueWithout(const QString& module, const QString& code) {
    QJsonObject catalogue =
        QJsonDocument::fromJson(QByteArray::fromStdString(tessaro::test::exampleCatalogue())).object();
    QJsonObject entry = catalogue[module].toObject();
    QJsonObject ranges = entry[QStringLiteral("rangeInfo")].toObject();
    ranges.remove(code);
    entry[QStringLiteral("rangeInfo")] = ranges;
    catalogue[module] = entry;
    return QJsonDocument(catalogue).toJson();
}

} // namespace

class ToolTest : public QObject {
    Q_OBJECT

private slots:
    void layout_data();
    void layout();
    void initialState();
    void tabOrder();
    void portListingProblems_data();
    void portListingProblems();
    void startupWithoutLibrary();
    void missingEntryPoint();
    void searchTwoAndEight();
    void otherChannelCounts_data();
    void otherChannelCounts();
    void applyCurrentRange();
    void applyWithoutSet_data();
    void applyWithoutSet();
    void refreshOutput();
    void silentModule_data();
    void silentModule();
    void marshalString_data();
    void marshalString();
    void demoScreenshot();
};

// ---------------------------------------------------------------------------------------------
// Window layout

void ToolTest::layout_data() {
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("designed"); // labels keep the place and size themselves to the text
    QTest::addColumn<QString>("text");   // label or button text; combo boxes: items joined by '|'
    QTest::addColumn<QString>("font");   // "", "regular", "title" or "bold"
    QTest::addColumn<int>("tabIndex");

    auto row = [](const char* name, const char* parent, QRect designed, const char* text, const char* font, int tab) {
        QTest::newRow(name) << QString(parent) << designed << QString(text) << QString(font) << tab;
    };
    row("label1", "Form1", {12, 18, 107, 33}, "Device 1", "title", 0);
    row("label2", "Form1", {465, 18, 107, 33}, "Device 2", "title", 1);
    row("comboBox5", "Form1", {148, 27, 79, 20}, "", "", 57);
    row("button3", "Form1", {251, 25, 68, 22}, "Search", "", 58);
    row("comboBox6", "Form1", {605, 29, 79, 20}, "", "", 59);
    row("button4", "Form1", {712, 27, 68, 22}, "Search", "", 60);
    row("label3", "Form1", {58, 59, 51, 19}, "Name:", "regular", 2);
    row("label4", "Form1", {58, 88, 121, 19}, "Channel Number:", "regular", 3);
    row("label5", "Form1", {58, 118, 125, 19}, "Firmware Version:", "regular", 4);
    row("label8", "Form1", {511, 59, 51, 19}, "Name:", "regular", 5);
    row("label7", "Form1", {511, 88, 121, 19}, "Channel Number:", "regular", 6);
    row("label6", "Form1", {511, 118, 125, 19}, "Firmware Version:", "regular", 7);
    row("label65", "Form1", {109, 59, 46, 19}, "None", "bold", 51);
    row("label66", "Form1", {182, 88, 46, 19}, "None", "bold", 52);
    row("label67", "Form1", {189, 118, 46, 19}, "None", "bold", 53);
    row("label68", "Form1", {568, 59, 46, 19}, "None", "bold", 54);
    row("label69", "Form1", {638, 88, 46, 19}, "None", "bold", 55);
    row("label70", "Form1", {646, 118, 46, 19}, "None", "bold", 56);
    row("groupBox1", "Form1", {62, 143, 355, 68}, "", "", 16);
    row("groupBox2", "Form1", {515, 144, 339, 67}, "", "", 17);
    row("label11", "Form1", {78, 229, 62, 19}, "Channel", "regular", 18);
    row("label20", "Form1", {165, 229, 45, 19}, "Value", "regular", 28);
    row("label21", "Form1", {247, 229, 87, 19}, "Input Range", "regular", 29);
    row("label64", "Form1", {524, 229, 62, 19}, "Channel", "regular", 47);
    row("label63", "Form1", {611, 229, 45, 19}, "Value", "regular", 48);
    row("label62", "Form1", {693, 229, 87, 19}, "Input Range", "regular", 49);
    row("groupBox3", "Form1", {84, 249, 280, 249}, "", "", 46);
    row("groupBox4", "Form1", {530, 249, 280, 249}, "", "", 50);
    row("RefreshBtn1", "Form1", {175, 504, 75, 23}, "Refresh", "", 61);
    row("RefreshBtn2", "Form1", {621, 504, 75, 23}, "Refresh", "", 62);
    row("label9", "groupBox1", {10, 8, 160, 19}, "Channel      Input range", "regular", 8);
    row("comboBox1", "groupBox1", {14, 30, 53, 20}, "0|1|2|3|4|5|6|7", "", 9);
    row("comboBox2", "groupBox1", {95, 30, 125, 20}, "0~10V|4~20mA", "", 10);
    row("button1", "groupBox1", {244, 29, 83, 20}, "Apply", "", 11);
    row("label10", "groupBox2", {9, 8, 160, 19}, "Channel      Input range", "regular", 12);
    row("comboBox4", "groupBox2", {13, 30, 53, 20}, "0|1|2|3|4|5|6|7", "", 13);
    row("comboBox3", "groupBox2", {94, 30, 125, 20}, "0~10V|4~20mA", "", 14);
    row("button2", "groupBox2", {243, 29, 83, 20}, "Apply", "", 15);

    const int rowY[8] = {10, 40, 70, 100, 130, 159, 187, 217};
    for (int panel = 1; panel <= 2; ++panel) {
        const PanelNames p = panelNames(panel);
        const QString table = panel == 1 ? QStringLiteral("groupBox3") : QStringLiteral("groupBox4");
        for (int channel = 0; channel < 8; ++channel) {
            QTest::newRow(qPrintable(p.number[channel])) << table << QRect(14, rowY[channel], 17, 19)
                                                         << QString::number(channel) << "regular" << 20 + channel;
            QTest::newRow(qPrintable(p.value[channel]))
                << table << QRect(87, rowY[channel], 37, 19) << "0.00" << "regular" << 30 + channel;
            QTest::newRow(qPrintable(p.range[channel]))
                << table << QRect(182, rowY[channel], 50, 19) << "0~10V" << "regular" << 38 + channel;
        }
    }
}

void ToolTest::layout() {
    QFETCH(QString, parent);
    QFETCH(QRect, designed);
    QFETCH(QString, text);
    QFETCH(QString, font);
    QFETCH(int, tabIndex);
    const QString name = QString::fromLatin1(QTest::currentDataTag());

    IsolatedDir dir;
    Tool tool;
    CHECKED(tool.show());

    QCOMPARE(tool.form.objectName(), QStringLiteral("Form1"));
    QCOMPARE(tool.form.windowTitle(), QStringLiteral("Vorliths"));
    QCOMPARE(tool.form.size(), QSize(877, 537));
    QCOMPARE(tool.form.minimumSize(), QSize(877, 537));
    QCOMPARE(tool.form.maximumSize(), QSize(877, 537));
    const Qt::WindowFlags flags = tool.form.windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));

    QWidget* widget = tool.form.findChild<QWidget*>(name);
    QVERIFY2(widget, qPrintable(name));
    QCOMPARE(widget->parentWidget()->objectName(), parent);
    QCOMPARE(widget->property("tabIndex").toInt(), tabIndex);
    QVERIFY(widget->isVisible());
    QVERIFY(widget->isEnabled() || name.startsWith(QLatin1String("comboBox")) || name.startsWith(QLatin1String("button"))
            || name.startsWith(QLatin1String("Refresh")));

    if (auto* label = qobject_cast<QLabel*>(widget)) {
        QCOMPARE(label->text(), text);
        QCOMPARE(label->pos(), designed.topLeft());
        QCOMPARE(label->size(), label->sizeHint());
        // Carlito has Calibri's metrics, so the text takes about the designed room.
        QVERIFY2(qAbs(label->width() - designed.width()) <= 8 && qAbs(label->height() - designed.height()) <= 4,
                 qPrintable(QStringLiteral("%1x%2").arg(label->width()).arg(label->height())));
        const QFontInfo info(label->font());
        QVERIFY2(info.family() == QLatin1String("Carlito") || info.family() == QLatin1String("Calibri"),
                 qPrintable(info.family()));
        QCOMPARE(label->font().pointSizeF(), font == QLatin1String("title") ? 20.25 : 12.0);
        QCOMPARE(label->font().bold(), font == QLatin1String("bold"));
        QCOMPARE(label->focusPolicy(), Qt::NoFocus);
        return;
    }
    QCOMPARE(widget->geometry(), designed);
    QCOMPARE(widget->font(), QApplication::font(widget)); // no font of its own
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
        QCOMPARE(button->text(), text);
    } else if (auto* box = qobject_cast<QComboBox*>(widget)) {
        QVERIFY(!box->isEditable());
        QCOMPARE(tool.items(name).join('|'), text);
        if (name != QLatin1String("comboBox5") && name != QLatin1String("comboBox6"))
            QCOMPARE(box->currentIndex(), -1); // nothing chosen before a Search
    } else {
        auto* group = qobject_cast<QGroupBox*>(widget);
        QVERIFY(group);
        QCOMPARE(group->title(), QString());
    }
}

// The load handler with ports present and the library in place.
void ToolTest::initialState() {
    IsolatedDir dir;
    tessaro::test::writeRangeFile(tessaro::test::exampleCatalogue());
    for (const char* port : {"COM2", "COM10", "COM1", "COM", "COMx1", "ttyS5", "com7"})
        linkFakePort(dir, port);
    linkFakePort(dir, "COM6", dir.path() + "/nowhere"); // dangling
    std::ofstream(dir.portDir() + "/COM5") << "not a device";

    Tool tool;
    StdoutCapture capture;
    CHECKED(tool.show());
    QCOMPARE(capture.finish(), std::string());
    QVERIFY(tool.messages.isEmpty());

    for (int panel = 1; panel <= 2; ++panel) {
        const PanelNames p = panelNames(panel);
        QCOMPARE(tool.items(p.port), QStringList({"COM1", "COM10", "COM2"}));
        QCOMPARE(tool.list(p.port)->currentText(), QStringLiteral("COM1"));
        QCOMPARE(tool.unlocked(panel), QList<bool>({false, false, false, false}));
        QVERIFY(tool.button(p.search)->isEnabled());
        QCOMPARE(tool.text(p.description), QStringLiteral("None"));
        QCOMPARE(tool.text(p.count), QStringLiteral("None"));
        QCOMPARE(tool.text(p.firmware), QStringLiteral("None"));
        QCOMPARE(tool.items(p.channelList), numbers(8));
        QCOMPARE(tool.items(p.rangeList), QStringList({"0~10V", "4~20mA"}));
        QCOMPARE(tool.list(p.channelList)->currentIndex(), -1);
        QCOMPARE(tool.list(p.rangeList)->currentIndex(), -1);
        for (int row = 0; row < 8; ++row)
            QCOMPARE(tool.text(p.number[row]), QString::number(row));
        CHECKED(verifyRows(tool, panel, QStringList(8, "0~10V"), QStringList(8, "0.00"), 8));
    }
    QVERIFY(!tessaro::test::TessaroLibrary::isResident());
}

void ToolTest::tabOrder() {
    IsolatedDir dir;
    Tool tool;
    CHECKED(tool.show());
    // Search unlocks each panel's controls, so every one of them takes part.
    tool.press(QStringLiteral("button3"));
    tool.press(QStringLiteral("button4"));
    QVERIFY(QTest::qWaitForWindowActive(&tool.form));

    const QStringList expected = {"comboBox1", "comboBox2", "button1", "comboBox4", "comboBox3", "button2",
                                  "comboBox5", "button3", "comboBox6", "button4", "RefreshBtn1", "RefreshBtn2",
                                  "comboBox1"};
    tool.list(QStringLiteral("comboBox1"))->setFocus(Qt::TabFocusReason);
    QStringList visited = {QApplication::focusWidget()->objectName()};
    for (int step = 1; step < expected.size(); ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.append(QApplication::focusWidget()->objectName());
    }
    QCOMPARE(visited, expected);
}

// ---------------------------------------------------------------------------------------------
// Start-up: port listing and library check

void ToolTest::portListingProblems_data() {
    QTest::addColumn<QString>("where");  // port directory, relative to the test's own directory
    QTest::addColumn<QString>("reason"); // "" when the directory lists fine but holds no port
    QTest::newRow("no port") << "ports" << "";
    QTest::newRow("missing directory") << "absent" << "No such file or directory";
    QTest::newRow("not a directory") << "plain-file" << "Not a directory";
}

void ToolTest::portListingProblems() {
    QFETCH(QString, where);
    QFETCH(QString, reason);
    IsolatedDir dir;
    tessaro::test::writeRangeFile(tessaro::test::exampleCatalogue());
    std::ofstream(dir.path() + "/plain-file") << "x";
    const std::string portDir = dir.path() + "/" + where.toStdString();
    qputenv("TESSARO_PORT_DIR", QByteArray::fromStdString(portDir));

    Tool tool;
    StdoutCapture loadOutput;
    CHECKED(tool.show());
    const QString expectedLine = reason.isEmpty()
                                     ? QStringLiteral("No serial port found in %1").arg(QString::fromStdString(portDir))
                                     : QStringLiteral("Cannot list serial ports in %1: %2")
                                           .arg(QString::fromStdString(portDir), reason);
    QCOMPARE(lines(loadOutput.finish()), QStringList({expectedLine}));
    QVERIFY(tool.messages.isEmpty());
    for (int panel = 1; panel <= 2; ++panel) {
        QVERIFY(tool.items(panelNames(panel).port).isEmpty());
        QCOMPARE(tool.unlocked(panel), QList<bool>({false, false, false, false}));
    }

    // Search with no port chosen: the library refuses the empty name, the panel unlocks.
    const QStringList before = tool.allLabelTexts();
    StdoutCapture searchOutput;
    tool.press(QStringLiteral("button3"));
    tool.press(QStringLiteral("button4"));
    QCOMPARE(searchOutput.finish(), std::string());
    QVERIFY(tool.messages.isEmpty());
    QCOMPARE(tool.allLabelTexts(), before);
    QCOMPARE(tool.unlocked(1), QList<bool>({true, true, true, true}));
    QCOMPARE(tool.unlocked(2), QList<bool>({true, true, true, true}));
}

void ToolTest::startupWithoutLibrary() {
    IsolatedDir dir;
    linkFakePort(dir, "COM2");
    linkFakePort(dir, "COM1");

    Tool tool("libTessaroMissing.so.1");
    StdoutCapture loadOutput;
    CHECKED(tool.show());
    const QStringList loadLines = lines(loadOutput.finish());
    QCOMPARE(tool.messages, QStringList({loadMessage}));
    QCOMPARE(loadLines.size(), 1);
    QVERIFY2(loadLines[0].contains(QLatin1String("libTessaroMissing.so.1")), qPrintable(loadLines[0]));
    // The window works on: ports listed, first selected, panels waiting for a Search.
    for (int panel = 1; panel <= 2; ++panel) {
        QCOMPARE(tool.items(panelNames(panel).port), QStringList({"COM1", "COM2"}));
        QCOMPARE(tool.list(panelNames(panel).port)->currentIndex(), 0);
        QCOMPARE(tool.unlocked(panel), QList<bool>({false, false, false, false}));
    }

    const QStringList before = tool.allLabelTexts();
    StdoutCapture searchOutput;
    tool.press(QStringLiteral("button3"));
    QCOMPARE(lines(searchOutput.finish()).size(), 2); // the platform's reason for each box
    QCOMPARE(tool.messages, QStringList({loadMessage, loadMessage, lookUpMessage(637)}));
    QCOMPARE(tool.allLabelTexts(), before);
    QCOMPARE(tool.unlocked(1), QList<bool>({true, true, true, true}));
    QCOMPARE(tool.unlocked(2), QList<bool>({false, false, false, false}));
}

// A library without EApiAIGetDevice: each operation shows only its look-up message.
void ToolTest::missingEntryPoint() {
    IsolatedDir dir;
    linkFakePort(dir, "COM1");
    Tool tool(NO_GET_DEVICE_LIBRARY);
    CHECKED(tool.show());
    QVERIFY(tool.messages.isEmpty()); // the library itself loads

    const QStringList before = tool.allLabelTexts();
    StdoutCapture output;
    tool.press(QStringLiteral("button3"));
    QCOMPARE(tool.messages, QStringList({lookUpMessage(637)}));
    tool.press(QStringLiteral("button1"));
    QCOMPARE(tool.messages, QStringList({lookUpMessage(637), lookUpMessage(1153)}));
    tool.press(QStringLiteral("RefreshBtn1"));
    QCOMPARE(tool.messages, QStringList({lookUpMessage(637), lookUpMessage(1153), lookUpMessage(1521)}));
    const QStringList reasons = lines(output.finish());
    QCOMPARE(reasons.size(), 3);
    for (const QString& reason : reasons)
        QVERIFY2(reason.contains(QLatin1String("EApiAIGetDevice")), qPrintable(reason));
    QCOMPARE(tool.allLabelTexts(), before);
    QVERIFY(!tessaro::test::TessaroLibrary::isResident(toolLibraryPath(NO_GET_DEVICE_LIBRARY)));
}

// ---------------------------------------------------------------------------------------------
// Search

void ToolTest::searchTwoAndEight() {
    IsolatedDir dir;
    tessaro::test::writeRangeFile(tessaro::test::exampleCatalogue());
    ModuleSimulator two(twoChannelModule(), dir.portDir(), "COM1");
    ModuleSimulator eight(eightChannelModule(), dir.portDir(), "COM2");
    Tool tool;
    CHECKED(tool.show());
    tool.list(QStringLiteral("comboBox6"))->setCurrentIndex(1);
    QCOMPARE(tool.list(QStringLiteral("comboBox6"))->currentText(), QStringLiteral("COM2"));

    QElapsedTimer clock;
    clock.start();
    tool.press(QStringLiteral("button3"));
    qInfo("Search of the 2-channel module: %lld ms", clock.restart());
    tool.press(QStringLiteral("button4"));
    qInfo("Search of the 8-channel module: %lld ms", clock.elapsed());
    QVERIFY(tool.messages.isEmpty());
    QVERIFY(!tessaro::test::TessaroLibrary::isResident()); // each cycle unloads again

    const PanelNames p1 = panelNames(1);
    QCOMPARE(tool.text(p1.description), QStringLiteral("2 x Analog Input Interface"));
    QCOMPARE(tool.text(p1.count), QStringLiteral("2 ch"));
    QCOMPARE(tool.text(p1.firmware), QStringLiteral("1.00"));
    QCOMPARE(tool.items(p1.channelList), QStringList({"0", "1"}));
    QCOMPARE(tool.list(p1.channelList)->currentText(), QStringLiteral("0"));
    QCOMPARE(tool.items(p1.rangeList), QStringList({"0~10V", "4~20mA"}));
    QCOMPARE(tool.list(p1.rangeList)->currentText(), QStringLiteral("0~10V"));
    QCOMPARE(tool.unlocked(1), QList<bool>({true, true, true, true}));
    CHECKED(verifyRows(tool, 1, {"0~10V", "4~20mA"}, {"+01.250", "+12.500"}, 2));

    const PanelNames p2 = panelNames(2);
    QCOMPARE(tool.text(p2.description), QStringLiteral("8 x Analog Input Interface"));
    QCOMPARE(tool.text(p2.count), QStringLiteral("8 ch"));
    QCOMPARE(tool.text(p2.firmware), QStringLiteral("1.00"));
    QCOMPARE(tool.items(p2.channelList), numbers(8));
    QCOMPARE(tool.list(p2.channelList)->currentText(), QStringLiteral("0"));
    QCOMPARE(tool.items(p2.rangeList), QStringList({"0~10V"}));
    QCOMPARE(tool.list(p2.rangeList)->currentText(), QStringLiteral("0~10V"));
    QCOMPARE(tool.unlocked(2), QList<bool>({true, true, true, true}));
    CHECKED(verifyRows(tool, 2, QStringList(8, "0~10V"),
                       {"+01.500", "+02.500", "+03.500", "+04.500", "+05.500", "+06.500", "+07.500", "+08.500"}, 8));

    // Choosing another port locks the panel at once and leaves every text as it was.
    const QStringList shown = tool.allLabelTexts();
    tool.list(p1.port)->setCurrentIndex(1);
    QCOMPARE(tool.unlocked(1), QList<bool>({false, false, false, false}));
    QCOMPARE(tool.unlocked(2), QList<bool>({true, true, true, true}));
    QCOMPARE(tool.allLabelTexts(), shown);
    CHECKED(verifyRows(tool, 1, {"0~10V", "4~20mA"}, {"+01.250", "+12.500"}, 2));

    // The same panel searched with the 8-channel module shows its rows 2 to 7 again.
    tool.press(p1.search);
    QCOMPARE(tool.text(p1.description), QStringLiteral("8 x Analog Input Interface"));
    QCOMPARE(tool.text(p1.count), QStringLiteral("8 ch"));
    QCOMPARE(tool.items(p1.channelList), numbers(8));
    QCOMPARE(tool.items(p1.rangeList), QStringList({"0~10V"}));
    CHECKED(verifyRows(tool, 1, QStringList(8, "0~10V"),
                       {"+01.500", "+02.500", "+03.500", "+04.500", "+05.500", "+06.500", "+07.500", "+08.500"}, 8));
    QVERIFY(tool.messages.isEmpty());
}

// Modules with neither 2 nor 8 channels: their own channel numbers, both ranges, rows only
// for channels 0 to 7, and the rows' visibility left alone.
void ToolTest::otherChannelCounts_data() {
    QTest::addColumn<int>("channels");
    QTest::newRow("4 channels") << 4;
    QTest::newRow("9 channels") << 9;
}

void ToolTest::otherChannelCounts() {
    QFETCH(int, channels);
    IsolatedDir dir;
    const std::string model = "TQM-550" + std::to_string(channels) + "AI";
    tessaro::test::writeRangeFile("{\"" + model + R"(": {"fwVerOrder": ["1.00"], "rangeInfo": {
        "0A": {"valRangeCode": "0A", "minValue": 0, "maxValue": 10, "unit": "V", "fwVer": "1.00"}}}})");
    tessaro::sim::ModuleConfig config;
    config.name = model;
    config.rangeCodes.assign(channels, "0A");
    config.values.clear();
    QStringList values;
    for (int channel = 0; channel < channels; ++channel) {
        config.values.push_back("+0" + std::to_string(channel) + ".125");
        values.append(QString::fromStdString(config.values.back()));
    }
    ModuleSimulator module(config, dir.portDir(), "COM1");
    Tool tool;
    CHECKED(tool.show());

    StdoutCapture capture;
    tool.press(QStringLiteral("button3"));
    const QStringList output = lines(capture.finish());

    const PanelNames p = panelNames(1);
    QCOMPARE(tool.text(p.description), QString());
    QCOMPARE(tool.text(p.count), QStringLiteral("%1 ch").arg(channels));
    QCOMPARE(tool.items(p.channelList), numbers(channels));
    QCOMPARE(tool.list(p.channelList)->currentText(), QStringLiteral("0"));
    QCOMPARE(tool.items(p.rangeList), QStringList({"0~10V", "4~20mA"}));
    const int rows = qMin(channels, 8);
    CHECKED(verifyRows(tool, 1, QStringList(rows, "0~10V"), values.mid(0, rows), 8));
    QCOMPARE(output.filter(QRegularExpression("^Get range: 0~10V$")).size(), channels);
    QCOMPARE(output.filter(QRegularExpression("^AI value: ")).size(), rows);
    for (const std::string& command : module.received())
        QVERIFY2(command != "#018\r" && command != "#019\r", command.c_str());
}

// ---------------------------------------------------------------------------------------------
// Apply

void ToolTest::applyCurrentRange() {
    IsolatedDir dir;
    tessaro::test::writeRangeFile(tessaro::test::exampleCatalogue());
    tessaro::sim::ModuleConfig config = twoChannelModule();
    const std::string voltage = config.rangeCodes[0];
    const std::string current = config.rangeCodes[1];
    config.rangeCodes = {voltage, voltage};
    ModuleSimulator module(config, dir.portDir(), "COM1");
    Tool tool;
    CHECKED(tool.show());
    tool.press(QStringLiteral("button3"));
    const QStringList identity = {tool.text("label65"), tool.text("label66"), tool.text("label67")};

    tool.list(QStringLiteral("comboBox1"))->setCurrentIndex(1);
    tool.list(QStringLiteral("comboBox2"))->setCurrentIndex(1);
    QCOMPARE(tool.list(QStringLiteral("comboBox2"))->currentText(), QStringLiteral("4~20mA"));
    module.clearReceived();
    StdoutCapture capture;
    tool.press(QStringLiteral("button1"));
    const QStringList output = lines(capture.finish());

    QVERIFY(tool.messages.isEmpty());
    const std::vector<std::string> received = module.received();
    QVERIFY(std::count(received.begin(), received.end(), "$017C1R" + current + "\r") == 1);
    QCOMPARE(module.rangeCode(1), current);
    QCOMPARE(module.rangeCode(0), voltage);

    CHECKED(verifyCycleHeader(output, 0));
    QCOMPARE(output.mid(3), QStringList({"Set range: 4~20mA", "Channel number: 2", "Get range: 0~10V",
                                         "AI value: +01.250, length: 7", "Get range: 4~20mA",
                                         "AI value: +12.500, length: 7"}));
    CHECKED(verifyRows(tool, 1, {"0~10V", "4~20mA"}, {"+01.250", "+12.500"}, 2));
    QCOMPARE(QStringList({tool.text("label65"), tool.text("label66"), tool.text("label67")}), identity);
    QCOMPARE(tool.list(QStringLiteral("comboBox1"))->currentText(), QStringLiteral("1"));
    QCOMPARE(tool.list(QStringLiteral("comboBox2"))->currentText(), QStringLiteral("4~20mA"));
}

// Apply that sends no range, and still reads the table again afterwards.
void ToolTest::applyWithoutSet_data() {
    QTest::addColumn<QByteArray>("catalogue");
    QTest::addColumn<bool>("firstSearchFails");
    QTest::addColumn<QString>("line"); // the diagnostic line in place of "Set range: ..."

    QTest::newRow("no channel after a failed search")
        << QByteArray::fromStdString(tessaro::test::exampleCatalogue()) << true
        << R"(^setValRange not called\. Channel "" is not a number$)";
    const QString current = catalogueCode("TQM-5502AI", 4, 20, "mA");
    QTest::newRow("range not in the catalogue")
        << catalogueWithout("TQM-5502AI", current) << false << "^setValRange failed\\. Error code: [0-9A-F]+ $";
}

void ToolTest::applyWithoutSet() {
    QFETCH(QByteArray, catalogue);
    QFETCH(bool, firstSearchFails);
    QFETCH(QString, line);
    IsolatedDir dir;
    tessaro::test::writeRangeFile(catalogue.toStdString());
    tessaro::sim::ModuleConfig config = twoChannelModule();
    config.rangeCodes = {config.rangeCodes[0], config.rangeCodes[0]};
    ModuleSimulator module(config, dir.portDir(), "COM1");
    Tool tool;
    CHECKED(tool.show());

    if (firstSearchFails)
        module.setFault(Fault::NoReply);
    tool.press(QStringLiteral("button3"));
    module.setFault(Fault::None);
    if (firstSearchFails) {
        QCOMPARE(tool.list(QStringLiteral("comboBox1"))->currentText(), QString());
    } else {
        tool.list(QStringLiteral("comboBox1"))->setCurrentIndex(1);
        tool.list(QStringLiteral("comboBox2"))->setCurrentIndex(1);
    }
    QVERIFY(tool.button(QStringLiteral("button1"))->isEnabled());

    module.clearReceived();
    StdoutCapture capture;
    tool.press(QStringLiteral("button1"));
    const QStringList output = lines(capture.finish());

    QVERIFY(tool.messages.isEmpty());
    for (const std::string& command : module.received())
        QVERIFY2(command.rfind("$017C", 0) != 0, command.c_str());
    CHECKED(verifyCycleHeader(output, 0));
    QVERIFY2(output.size() == 9, qPrintable(output.join('\n')));
    QVERIFY2(QRegularExpression(line).match(output[3]).hasMatch(), qPrintable(output[3]));
    QCOMPARE(output.mid(4), QStringList({"Channel number: 2", "Get range: 0~10V", "AI value: +01.250, length: 7",
                                         "Get range: 0~10V", "AI value: +12.500, length: 7"}));
    // As after any Apply on a 2-channel module: rows read again, rows 2 to 7 hidden.
    CHECKED(verifyRows(tool, 1, {"0~10V", "0~10V"}, {"+01.250", "+12.500"}, 2));
}

// ---------------------------------------------------------------------------------------------
// Refresh

void ToolTest::refreshOutput() {
    IsolatedDir dir;
    tessaro::test::writeRangeFile(tessaro::test::exampleCatalogue());
    ModuleSimulator module(twoChannelModule(), dir.portDir(), "COM1");
    Tool tool;
    CHECKED(tool.show());
    tool.press(QStringLiteral("button3"));
    const QStringList identity = {tool.text("label65"), tool.text("label66"), tool.text("label67")};

    module.setValue(0, "+03.750");
    module.setValue(1, "-00.125");
    StdoutCapture capture;
    tool.press(QStringLiteral("RefreshBtn1"));
    const QStringList output = lines(capture.finish());

    CHECKED(verifyCycleHeader(output, 0));
    QCOMPARE(output.mid(3), QStringList({"Channel number: 2", "Get range: 0~10V", "AI value: +03.750, length: 7",
                                         "Get range: 4~20mA", "AI value: -00.125, length: 7"}));
    CHECKED(verifyRows(tool, 1, {"0~10V", "4~20mA"}, {"+03.750", "-00.125"}, 2));
    QCOMPARE(QStringList({tool.text("label65"), tool.text("label66"), tool.text("label67")}), identity);
    QCOMPARE(tool.items(QStringLiteral("comboBox1")), QStringList({"0", "1"}));
    QVERIFY(tool.messages.isEmpty());
}

// ---------------------------------------------------------------------------------------------
// A port whose module does not answer: the cycle cannot obtain a device

void ToolTest::silentModule_data() {
    QTest::addColumn<bool>("searchFirst"); // silent from the start, or only after a good Search
    QTest::addColumn<QString>("operation");
    QTest::newRow("search") << false << "button3";
    QTest::newRow("refresh") << true << "RefreshBtn1";
    QTest::newRow("apply") << true << "button1";
}

void ToolTest::silentModule() {
    QFETCH(bool, searchFirst);
    QFETCH(QString, operation);
    IsolatedDir dir;
    tessaro::test::writeRangeFile(tessaro::test::exampleCatalogue());
    ModuleSimulator module(twoChannelModule(), dir.portDir(), "COM1");
    Tool tool;
    CHECKED(tool.show());
    if (searchFirst)
        tool.press(QStringLiteral("button3"));

    module.setFault(Fault::NoReply);
    const QStringList before = tool.allLabelTexts();
    StdoutCapture capture;
    tool.press(operation);
    QCOMPARE(capture.finish(), std::string());
    QVERIFY(tool.messages.isEmpty());
    QCOMPARE(tool.allLabelTexts(), before);
    QCOMPARE(tool.unlocked(1), QList<bool>({true, true, true, true}));
    QVERIFY(!tessaro::test::TessaroLibrary::isResident());
    for (const std::string& command : module.received())
        QVERIFY2(command.rfind("$017C", 0) != 0, command.c_str());
}

// ---------------------------------------------------------------------------------------------

void ToolTest::marshalString_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("port name") << "COM3" << QByteArray("COM3");
    QTest::newRow("empty") << "" << QByteArray();
    QTest::newRow("non-ASCII") << QStringLiteral("K\u00fchl-\u00b5A") << QByteArray("K\xc3\xbchl-\xc2\xb5" "A");
    QTest::newRow("embedded zero") << QStringLiteral("COM3") + QChar(0) + QStringLiteral("x") << QByteArray("COM3");
}

void ToolTest::marshalString() {
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    std::string narrow = "left over";
    Vorlith::MarshalString(text, narrow);
    QCOMPARE(QByteArray::fromStdString(narrow), bytes);
    std::wstring wide = L"left over";
    Vorlith::MarshalString(text, wide);
    QCOMPARE(QString::fromStdWString(wide), text);
}

// The program's --demo-screenshot option, as the README's demo runs it: two modules, Search
// in both panels, a picture of the window, the diagnostic lines on standard output.
void ToolTest::demoScreenshot() {
    IsolatedDir dir;
    tessaro::test::writeRangeFile(tessaro::test::exampleCatalogue());
    ModuleSimulator two(twoChannelModule(), dir.portDir(), "COM1");
    ModuleSimulator eight(eightChannelModule(), dir.portDir(), "COM2");
    const QString shot = QString::fromStdString(dir.path()) + QStringLiteral("/shot.png");

    QProcess vorlith;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Ahead of the program's RUNPATH: the tests' copy, which reads ./ai_value_range_info.json.
    environment.insert(QStringLiteral("LD_LIBRARY_PATH"), QFileInfo(QStringLiteral(TESSARO_TEST_LIBRARY)).absolutePath());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    vorlith.setProcessEnvironment(environment);
    vorlith.setWorkingDirectory(QString::fromStdString(dir.path()));
    vorlith.start(QStringLiteral(VORLITH_EXECUTABLE), {QStringLiteral("--demo-screenshot"), shot});
    QVERIFY(vorlith.waitForFinished(120000));
    const QString errors = QString::fromLocal8Bit(vorlith.readAllStandardError());
    QCOMPARE(vorlith.exitStatus(), QProcess::NormalExit);
    QVERIFY2(vorlith.exitCode() == 0, qPrintable(errors));
    QVERIFY2(!errors.contains(QLatin1String("vorlith message")), qPrintable(errors));

    const QStringList output = lines(vorlith.readAllStandardOutput().toStdString());
    const qsizetype first = output.indexOf(QStringLiteral("Device name: TQM-5502AI, length: 10"));
    const qsizetype second = output.indexOf(QStringLiteral("Device name: TQM-5508AI, length: 10"));
    QVERIFY2(first >= 0 && second > first, qPrintable(output.join('\n')));
    QCOMPARE(output.filter(QRegularExpression("^AI value: ")).size(), 2 + 8);

    const QImage image(shot);
    QCOMPARE(image.size(), QSize(877, 537));
    // Row 2 of each table: empty in panel 1 (hidden, 2 channels), drawn in panel 2.
    auto inked = [&image](int left) {
        const QRect row(left + 14, 249 + 70, 220, 19);
        const QRgb background = image.pixel(row.topLeft());
        int count = 0;
        for (int y = row.top(); y <= row.bottom(); ++y)
            for (int x = row.left(); x <= row.right(); ++x)
                count += image.pixel(x, y) != background;
        return count;
    };
    QCOMPARE(inked(84), 0);
    QVERIFY(inked(530) > 50);
}

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Vorlith::applyToolStyle();
    // The tool's diagnostic lines are captured from standard output: keep the test log apart.
    QStringList arguments = QApplication::arguments();
    if (!arguments.contains(QLatin1String("-o")))
        arguments << QStringLiteral("-o") << QStringLiteral("/dev/stderr,txt");
    ToolTest test;
    return QTest::qExec(&test, arguments);
}

#include "tool_test.moc"
