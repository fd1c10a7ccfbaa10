// Vorlith: a one-window test tool for analog-input modules. It binds libTessaro.so.1 at run
// time for every operation and writes its diagnostic lines to standard output.
#include "form1.h"

#include <QApplication>
#include <QCoreApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

namespace {

// Searches both panels the way a user would (panel 2 on the second port, when there is one,
// so two modules show side by side) and saves the window's picture.
bool takeDemoScreenshot(Vorlith::Form1& form, const QString& file) {
    auto* port2 = form.findChild<QComboBox*>(QStringLiteral("comboBox6"));
    if (port2 && port2->count() > 1)
        port2->setCurrentIndex(1);
    for (const char* search : {"button3", "button4"})
        if (auto* button = form.findChild<QPushButton*>(QLatin1String(search)))
            button->click();
    if (!form.grab().save(file, "PNG")) {
        std::fprintf(stderr, "vorlith: cannot write the screenshot %s\n", qPrintable(file));
        return false;
    }
    return true;
}

void describeOptions(QCommandLineParser& parser, const QCommandLineOption& demoScreenshot) {
    parser.setApplicationDescription(QStringLiteral(
        "Test tool for analog-input modules on serial ports, through libTessaro.so.1.\n"
        "Ports are the COM<n> entries of $TESSARO_PORT_DIR (default /dev).\n"
        "Diagnostic lines go to standard output."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(demoScreenshot);
}

void nameApplication() {
    QCoreApplication::setApplicationName(QStringLiteral("vorlith"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VORLITH_VERSION));
}

} // namespace

int main(int argc, char* argv[]) {
    const QCommandLineOption demoScreenshot(
        QStringLiteral("demo-screenshot"),
        QStringLiteral("Once the window is shown, select the second port in Device 2 (when there "
                       "is one), press Search in Device 1 and Device 2, save the window as a PNG "
                       "picture to <file> and exit (status 0, or 1 if the file cannot be written). "
                       "Library messages go to standard error instead of message boxes."),
        QStringLiteral("file"));

    // --help and --version answer without a display: they are handled before the GUI starts.
    {
        QCoreApplication console(argc, argv);
        nameApplication();
        QCommandLineParser parser;
        describeOptions(parser, demoScreenshot);
        parser.parse(QCoreApplication::arguments()); // Qt's own options are checked later
        if (parser.isSet(QStringLiteral("help")))
            parser.showHelp(0);
        if (parser.isSet(QStringLiteral("version")))
            parser.showVersion();
    }

    QApplication app(argc, argv);
    nameApplication();
    Vorlith::applyToolStyle();
    QCommandLineParser parser;
    describeOptions(parser, demoScreenshot);
    parser.process(app);

    const bool demo = parser.isSet(demoScreenshot);
    Vorlith::ToolServices services;
    if (demo) {
        // Nobody is there to close a box.
        services.showMessage = [](const QString& text) {
            std::fprintf(stderr, "vorlith message: %s\n", qPrintable(QString(text).replace('\n', QLatin1String(" | "))));
        };
    }

    Vorlith::Form1 form(services);
    form.show();
    if (demo) {
        const QString file = parser.value(demoScreenshot);
        QTimer::singleShot(0, &form, [&form, file] {
            QApplication::exit(takeDemoScreenshot(form, file) ? 0 : 1);
        });
    }
    return QApplication::exec();
}
