#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <iostream>

namespace korvalt {

// The program speaks for itself on standard error; Qt's own notes about
// the environment (no runtime folder, no display) would only be noise.
inline void keepSeriousMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::cerr << message.toStdString() << '\n';
}

// Set-up shared by the command-line programs, before QApplication exists:
// they use the window's classes, whose widgets are never shown, so no
// display is needed unless the caller chose a platform.
inline void prepareConsoleProgram() {
    qInstallMessageHandler(keepSeriousMessages);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

} // namespace korvalt
