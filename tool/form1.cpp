// Start-up, the handlers and the three operations. Everything runs on the window's thread,
// synchronously: the window takes no input until an operation, serial exchanges and all, ends.
#include "form1.h"

#include "marshal.h"
#include "os/platform.h"

#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>
#include <QStyleFactory>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace Vorlith {

namespace {

// Line numbers in the look-up failure message, one per operation.
constexpr int searchLookUpLine = 637;
constexpr int applyLookUpLine = 1153;
constexpr int refreshLookUpLine = 1521;

const char* const twoChannelModel = "TQM-5502AI";
const char* const eightChannelModel = "TQM-5508AI";
const char* const voltageRange = "0~10V";
const char* const currentRange = "4~20mA";

// unitText need not be terminated when the library fills all eight bytes.
std::string unitOf(const _AI_VALRANGE_INFO_& range) {
    return std::string(range.unitText, strnlen(range.unitText, sizeof range.unitText));
}

// The channel count with its diagnostic line; false ends the operation's own steps.
bool readChannelCount(DeviceCycle& cycle, int32_t* count) {
    cycle.status = cycle.device()->getChannelNum(count);
    if (cycle.status != EAPI_STATUS_SUCCESS) {
        std::printf("getChannelNum failed. Error code: %X \n", cycle.status);
        return false;
    }
    std::cout << "Channel number: " << *count << std::endl;
    return true;
}

void showMessageBox(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok, owner);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

} // namespace

void applyToolStyle() {
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(fusion);
}

Form1::Form1(ToolServices services, QWidget* parent) : QWidget(parent), services_(std::move(services)) {
    if (!services_.showMessage)
        services_.showMessage = [this](const QString& text) { showMessageBox(this, text); };
    InitializeComponent();
}

Form1::~Form1() = default;

// The window's load event: once, before the window first appears.
void Form1::showEvent(QShowEvent* event) {
    if (!loaded_ && !event->spontaneous()) {
        loaded_ = true;
        Form1_Load();
    }
    QWidget::showEvent(event);
}

void Form1::Form1_Load() { AICheck(); }

void Form1::comboBox5_SelectedIndexChanged() { setPanelControlsEnabled(panel(1), false); }
void Form1::comboBox6_SelectedIndexChanged() { setPanelControlsEnabled(panel(2), false); }

// Search unlocks the panel whatever it found, so a failed search can be followed by Apply.
void Form1::button3_Click() {
    AISearch(1);
    setPanelControlsEnabled(panel(1), true);
}

void Form1::button4_Click() {
    AISearch(2);
    setPanelControlsEnabled(panel(2), true);
}

void Form1::button1_Click() { AISetValue(1); }
void Form1::button2_Click() { AISetValue(2); }
void Form1::RefreshBtn1_Click() { AIGetValue(1); }
void Form1::RefreshBtn2_Click() { AIGetValue(2); }

void Form1::setPanelControlsEnabled(const Panel& p, bool enabled) {
    p.channelList->setEnabled(enabled);
    p.rangeList->setEnabled(enabled);
    p.apply->setEnabled(enabled);
    p.refresh->setEnabled(enabled);
}

void Form1::AICheck() {
    // Only a presence check: the library is loaded again by every operation.
    os::Failure failure;
    if (void* library = os::loadLibrary(services_.libraryName, failure))
        os::freeLibrary(library);
    else
        reportLoadFailure(services_, failure.code, failure.text);

    os::PortListing ports = os::listSerialPorts();
    if (ports.failed)
        std::cout << ports.failure << std::endl;
    else if (ports.names.empty())
        std::cout << "No serial port found in " << ports.source << std::endl;
    // As text: COM10 comes before COM2.
    std::sort(ports.names.begin(), ports.names.end());
    QStringList names;
    for (const std::string& name : ports.names)
        names.append(UnmarshalString(name.c_str()));

    // Filled quietly; the selections below are what fire the handlers, list 5 before list 6.
    for (QComboBox* list : {comboBox5, comboBox6}) {
        const QSignalBlocker quiet(list);
        list->clear();
        list->addItems(names);
        list->setCurrentIndex(-1);
    }
    if (!names.isEmpty()) {
        comboBox5->setCurrentIndex(0);
        comboBox6->setCurrentIndex(0);
    } else {
        // No port to select, so no handler runs: lock the panels as a selection would.
        comboBox5_SelectedIndexChanged();
        comboBox6_SelectedIndexChanged();
    }
}

void Form1::AISearch(int btnIndex) {
    const Panel p = panel(btnIndex);
    runDeviceCycle(services_, searchLookUpLine, p.portList->currentText(), [&](DeviceCycle& cycle) {
        EApiCommon::IatAI* device = cycle.device();

        cycle.resetLength();
        cycle.status = device->getDevName(cycle.text, &cycle.length);
        if (cycle.status == EAPI_STATUS_SUCCESS) {
            std::cout << "Device name: " << cycle.text << ", length: " << cycle.length << std::endl;
            // Exact bytes: case, blanks and extra characters all make an unknown module.
            QString description;
            if (std::strcmp(cycle.text, twoChannelModel) == 0)
                description = QStringLiteral("2 x Analog Input Interface");
            else if (std::strcmp(cycle.text, eightChannelModel) == 0)
                description = QStringLiteral("8 x Analog Input Interface");
            p.description->setText(description);
        } else {
            std::printf("getDevName failed. Error code: %X \n", cycle.status);
        }

        cycle.resetLength();
        cycle.status = device->getFwVersion(cycle.text, &cycle.length);
        if (cycle.status == EAPI_STATUS_SUCCESS) {
            std::cout << "F/W version: " << cycle.text << ", length: " << cycle.length << std::endl;
            p.firmware->setText(UnmarshalString(cycle.text));
        } else {
            std::printf("getFwVersion failed. Error code: %X \n", cycle.status);
        }

        int32_t count = 0;
        if (!readChannelCount(cycle, &count))
            return;
        p.count->setText(QString::number(count) + QStringLiteral(" ch"));
        fillRangeBox(p, count);
        refreshChannels(p, cycle, count);
        applyRowVisibility(p, count);
    });
}

// The channels and ranges Apply can offer. A 2-channel module takes both ranges, an
// 8-channel one only 0~10V. Any other count (the library allows 0 to 9) gets its own channel
// numbers and both ranges: the range file, not the tool, decides what such a module accepts.
void Form1::fillRangeBox(const Panel& p, int count) {
    QStringList channels;
    for (int channel = 0; channel < count; ++channel)
        channels.append(QString::number(channel));
    const QStringList ranges = count == 8 ? QStringList{voltageRange} : QStringList{voltageRange, currentRange};

    p.channelList->clear();
    p.channelList->addItems(channels);
    p.channelList->setCurrentIndex(channels.isEmpty() ? -1 : 0);
    p.rangeList->clear();
    p.rangeList->addItems(ranges);
    p.rangeList->setCurrentIndex(0);
}

void Form1::AISetValue(int btnIndex) {
    const Panel p = panel(btnIndex);
    runDeviceCycle(services_, applyLookUpLine, p.portList->currentText(), [&](DeviceCycle& cycle) {
        EApiCommon::IatAI* device = cycle.device();

        // "V" is tested first; the lists offer nothing that holds neither.
        const QString rangeText = p.rangeList->currentText();
        if (rangeText.contains(QLatin1String("V"))) {
            cycle.range.minimum = 0;
            cycle.range.maximum = 10;
            std::snprintf(cycle.range.unitText, sizeof cycle.range.unitText, "%s", "V");
        } else if (rangeText.contains(QLatin1String("mA"))) {
            cycle.range.minimum = 4;
            cycle.range.maximum = 20;
            std::snprintf(cycle.range.unitText, sizeof cycle.range.unitText, "%s", "mA");
        }
        std::memset(cycle.range.codeText, 0, sizeof cycle.range.codeText);

        // After a failed first Search the channel list has no selection and its text is
        // empty: nothing is set, but the table is still read again as after a failed set.
        const QString channelText = p.channelList->currentText();
        bool isNumber = false;
        const int channel = channelText.toInt(&isNumber, 10);
        if (!isNumber) {
            std::cout << "setValRange not called. Channel \"" << channelText.toLocal8Bit().constData()
                      << "\" is not a number" << std::endl;
        } else {
            cycle.status = device->setValRange(&cycle.range, channel);
            if (cycle.status == EAPI_STATUS_SUCCESS)
                std::cout << "Set range: " << cycle.range.minimum << "~" << cycle.range.maximum
                          << unitOf(cycle.range) << std::endl;
            else
                std::printf("setValRange failed. Error code: %X \n", cycle.status);
        }

        int32_t count = 0;
        if (!readChannelCount(cycle, &count))
            return;
        refreshChannels(p, cycle, count);
        applyRowVisibility(p, count);
    });
}

void Form1::AIGetValue(int btnIndex) {
    const Panel p = panel(btnIndex);
    runDeviceCycle(services_, refreshLookUpLine, p.portList->currentText(), [&](DeviceCycle& cycle) {
        int32_t count = 0;
        if (!readChannelCount(cycle, &count))
            return;
        // Rows stay hidden or shown as the last Search or Apply left them.
        refreshChannels(p, cycle, count);
    });
}

// Every channel's range, and for channels that have a row, its value. A channel whose range
// cannot be read keeps its whole row, value included.
void Form1::refreshChannels(const Panel& p, DeviceCycle& cycle, int count) {
    EApiCommon::IatAI* device = cycle.device();
    for (int channel = 0; channel < count; ++channel) {
        cycle.status = device->getValRange(&cycle.range, channel);
        if (cycle.status != EAPI_STATUS_SUCCESS) {
            std::printf("getValRange failed. Error code: %X \n", cycle.status);
            continue;
        }
        const std::string unit = unitOf(cycle.range);
        std::cout << "Get range: " << cycle.range.minimum << "~" << cycle.range.maximum << unit << std::endl;
        if (channel >= rowCount)
            continue; // no row to show it in, so its value is not read either

        p.range[channel]->setText(QStringLiteral("%1~%2%3")
                                      .arg(cycle.range.minimum)
                                      .arg(cycle.range.maximum)
                                      .arg(UnmarshalString(unit.c_str())));
        cycle.resetLength();
        cycle.status = device->getValue(cycle.text, &cycle.length, channel);
        if (cycle.status == EAPI_STATUS_SUCCESS) {
            std::cout << "AI value: " << cycle.text << ", length: " << cycle.length << std::endl;
            p.value[channel]->setText(UnmarshalString(cycle.text));
        } else {
            std::printf("getValue failed. Error code: %X \n", cycle.status);
        }
    }
}

// Rows 0 and 1 always show. 2 channels hide rows 2 to 7, 8 show them; any other count leaves
// them as they are.
void Form1::applyRowVisibility(const Panel& p, int count) {
    if (count != 2 && count != 8)
        return;
    for (int row = 2; row < rowCount; ++row) {
        p.number[row]->setVisible(count == 8);
        p.value[row]->setVisible(count == 8);
        p.range[row]->setVisible(count == 8);
    }
}

} // namespace Vorlith
