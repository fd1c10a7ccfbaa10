#include "tool_fixture.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

namespace tool_test {

const QString loadMessage = QStringLiteral("Error code: 126\nError: Failed to load library!");

QString lookUpMessage(int line) {
    return QStringLiteral("Error code: 127\nLine %1 Error: Failed to load library!").arg(line);
}

PanelNames panelNames(int panel) {
    auto name = [](int number) { return QStringLiteral("label%1").arg(number); };
    PanelNames p;
    if (panel == 1) {
        p = {"comboBox5", "button3", "label65", "label66", "label67", "comboBox1", "comboBox2", "button1", "RefreshBtn1", {}, {}, {}};
        for (int row = 0; row < 8; ++row) {
            p.number[row] = name(12 + row);
            p.value[row] = name(22 + row);
            p.range[row] = name(30 + row);
        }
    } else {
        p = {"comboBox6", "button4", "label68", "label69", "label70", "comboBox4", "comboBox3", "button2", "RefreshBtn2", {}, {}, {}};
        for (int row = 0; row < 8; ++row) {
            p.number[row] = name(61 - row);
            p.value[row] = name(53 - row);
            p.range[row] = name(45 - row);
        }
    }
    return p;
}

Tool::Tool(std::string libraryName)
    : form(Vorlith::ToolServices{std::move(libraryName), [this](const QString& text) { messages.append(text); }}) {}

void Tool::show() {
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
}

template <typename T> static T* findControl(const QWidget& form, const QString& name) {
    T* control = form.findChild<T*>(name);
    if (!control)
        qFatal("no control %s", qPrintable(name));
    return control;
}

QLabel* Tool::label(const QString& name) const { return findControl<QLabel>(form, name); }
QComboBox* Tool::list(const QString& name) const { return findControl<QComboBox>(form, name); }
QPushButton* Tool::button(const QString& name) const { return findControl<QPushButton>(form, name); }

QStringList Tool::items(const QString& listName) const {
    QStringList result;
    const QComboBox* box = list(listName);
    for (int i = 0; i < box->count(); ++i)
        result.append(box->itemText(i));
    return result;
}

void Tool::press(const QString& buttonName) const {
    QTest::mouseClick(button(buttonName), Qt::LeftButton);
}

QList<bool> Tool::unlocked(int panel) const {
    const PanelNames p = panelNames(panel);
    return {list(p.channelList)->isEnabled(), list(p.rangeList)->isEnabled(), button(p.apply)->isEnabled(),
            button(p.refresh)->isEnabled()};
}

QStringList Tool::allLabelTexts() const {
    QStringList texts;
    for (int number = 1; number <= 70; ++number)
        texts.append(text(QStringLiteral("label%1").arg(number)));
    return texts;
}

QString catalogueCode(const QString& module, int minimum, int maximum, const QString& unit) {
    const QJsonObject catalogue =
        QJsonDocument::fromJson(QByteArray::fromStdString(tessaro::test::exampleCatalogue())).object();
    const QJsonObject ranges = catalogue[module].toObject()[QStringLiteral("rangeInfo")].toObject();
    for (const QJsonValue& entry : ranges) {
        const QJsonObject range = entry.toObject();
        if (range[QStringLiteral("minValue")].toInt() == minimum && range[QStringLiteral("maxValue")].toInt() == maximum &&
            range[QStringLiteral("unit")].toString() == unit)
            return range[QStringLiteral("valRangeCode")].toString();
    }
    qFatal("the example catalogue has no %d~%d%s for %s", minimum, maximum, qPrintable(unit), qPrintable(module));
}

tessaro::sim::ModuleConfig twoChannelModule() {
    tessaro::sim::ModuleConfig module;
    module.name = "TQM-5502AI";
    module.firmware = "1.00";
    module.rangeCodes = {catalogueCode("TQM-5502AI", 0, 10, "V").toStdString(),
                         catalogueCode("TQM-5502AI", 4, 20, "mA").toStdString()};
    module.values = {"+01.250", "+12.500"};
    return module;
}

tessaro::sim::ModuleConfig eightChannelModule() {
    tessaro::sim::ModuleConfig module;
    module.name = "TQM-5508AI";
    module.firmware = "1.00";
    const std::string voltage = catalogueCode("TQM-5508AI", 0, 10, "V").toStdString();
    module.rangeCodes.assign(8, voltage);
    module.values.clear();
    for (int channel = 0; channel < 8; ++channel)
        module.values.push_back("+0" + std::to_string(channel + 1) + ".500");
    return module;
}

QStringList lines(const std::string& output) {
    QStringList result = QString::fromStdString(output).split(QLatin1Char('\n'));
    if (!result.isEmpty() && result.last().isEmpty())
        result.removeLast();
    return result;
}

void verifyCycleHeader(const QStringList& output, int at) {
    QVERIFY2(output.size() > at + 2, qPrintable(output.join('\n')));
    QCOMPARE(output[at], QString());
    QCOMPARE(output[at + 1], QStringLiteral("========== AI information 0 =========="));
    static const QRegularExpression address(
        QStringLiteral("^Get device success\\. Address of patAI\\[0\\]: 0x[0-9a-f]+, patAI\\[0\\]: 0x[0-9a-f]+ $"));
    QVERIFY2(address.match(output[at + 2]).hasMatch(), qPrintable(output[at + 2]));
}

} // namespace tool_test
