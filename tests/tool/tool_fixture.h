// What the tool tests share: the window under test with its message boxes recorded instead
// of shown, the controls of each panel by their control names, simulated modules, and the
// diagnostic lines the tool writes.
#pragma once

#include "form1.h"
#include "module_simulator.h"
#include "test_env.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QStringList>

#include <array>
#include <memory>
#include <string>

namespace tool_test {

// Control names of one panel, as the operations use them.
struct PanelNames {
    QString port, search, description, count, firmware, channelList, rangeList, apply, refresh;
    std::array<QString, 8> number, value, range; // table rows 0 to 7
};
PanelNames panelNames(int panel);

// A Form1 whose message boxes only append their text to `messages`.
class Tool {
public:
    explicit Tool(std::string libraryName = TESSARO_LIBRARY_NAME);

    // Shows the window, which runs the load handler (library check, port lists).
    void show();

    QLabel* label(const QString& name) const;
    QComboBox* list(const QString& name) const;
    QPushButton* button(const QString& name) const;
    QString text(const QString& labelName) const { return label(labelName)->text(); }
    QStringList items(const QString& listName) const;
    // Clicks like a user: a disabled button ignores it.
    void press(const QString& buttonName) const;
    // The four controls a Search unlocks: channel list, range list, Apply, Refresh.
    QList<bool> unlocked(int panel) const;
    // Every label's text, to show that an operation changed none.
    QStringList allLabelTexts() const;

    QStringList messages;
    Vorlith::Form1 form;
};

// The shipped example catalogue's code for a range of a module type, e.g. "0B" for 4~20mA.
QString catalogueCode(const QString& module, int minimum, int maximum, const QString& unit);

tessaro::sim::ModuleConfig twoChannelModule();
tessaro::sim::ModuleConfig eightChannelModule();

// Output lines split at '\n'; the text after the last '\n' is kept only when not empty.
QStringList lines(const std::string& output);

// The two lines every cycle writes once it holds a device (after the empty first line).
void verifyCycleHeader(const QStringList& output, int at);

extern const QString loadMessage;
QString lookUpMessage(int line);

} // namespace tool_test
