#include "ui/QtToolkit.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QStringList>
#include <QLabel>
#include <QWidget>

namespace korvalt {

namespace {
QString displayText(const std::string& text) {
    // Messages are composed with CR LF line breaks; Qt wants plain LF.
    return QString::fromStdString(text).replace("\r\n", "\n");
}

// Ends a local event loop when the watched window is hidden or destroyed.
class HideWatcher : public QObject {
public:
    HideWatcher(QWidget* window, QEventLoop* loop) : m_window(window), m_loop(loop) {
        window->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_window &&
            (event->type() == QEvent::Hide || event->type() == QEvent::Close))
            m_loop->quit();
        return false;
    }

private:
    QObject* m_window;
    QEventLoop* m_loop;
};
} // namespace

MsgAnswer QtToolkit::msgBox(const std::string& text, const std::string& title, MsgButtons buttons,
                            MsgIcon icon) {
    if (m_ended)
        return MsgAnswer::Cancel;
    QMessageBox box;
    box.setText(displayText(text));
    box.setWindowTitle(QString::fromStdString(title));
    switch (icon) {
    case MsgIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case MsgIcon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case MsgIcon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    }
    if (buttons == MsgButtons::OkCancel) {
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setEscapeButton(QMessageBox::Cancel);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
    }
    box.setDefaultButton(QMessageBox::Ok);
    // A message must be readable even while the busy pointer is on.
    QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    const int result = box.exec();
    QGuiApplication::restoreOverrideCursor();
    return result == QMessageBox::Ok ? MsgAnswer::Ok : MsgAnswer::Cancel;
}

QString QtToolkit::qtFilter(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split('|');
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty())
            continue;
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        // Qt shows the patterns after the description itself.
        QString description = parts[i];
        const qsizetype open = description.lastIndexOf('(');
        if (open > 0 && description.endsWith(')'))
            description = description.left(open).trimmed();
        entries << description + " (" + patterns + ")";
    }
    return entries.join(";;");
}

std::optional<std::string> QtToolkit::openFileDialog(const std::string& filter, bool hideReadOnly) {
    if (m_ended)
        return std::nullopt;
    QFileDialog::Options options;
    if (hideReadOnly)
        options |= QFileDialog::ReadOnly;
    const QString chosen =
        QFileDialog::getOpenFileName(QApplication::activeWindow(), QString(), m_lastFileName,
                                     qtFilter(filter), nullptr, options);
    if (chosen.isEmpty())
        return std::nullopt;
    m_lastFileName = chosen;
    return chosen.toStdString();
}

std::optional<std::string> QtToolkit::saveFileDialog(const std::string& title,
                                                     const std::string& filter,
                                                     bool promptOverwrite) {
    if (m_ended)
        return std::nullopt;
    QFileDialog dialog(QApplication::activeWindow(), QString::fromStdString(title));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(qtFilter(filter));
    // The dialog opens on the name last chosen, open or save alike.
    if (!m_lastFileName.isEmpty())
        dialog.selectFile(m_lastFileName);
    if (!promptOverwrite)
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    m_lastFileName = dialog.selectedFiles().first();
    return m_lastFileName.toStdString();
}

void QtToolkit::showModal(QWidget& window) {
    if (m_ended)
        return;
    QEventLoop loop;
    const HideWatcher watcher(&window, &loop);
    window.setWindowModality(Qt::ApplicationModal);
    QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    window.show();
    window.raise();
    window.activateWindow();
    QObject::connect(&window, &QObject::destroyed, &loop, &QEventLoop::quit);
    if (!window.isHidden())
        loop.exec();
    QGuiApplication::restoreOverrideCursor();
}

void QtToolkit::setBusyPointer(bool busy) {
    if (busy) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        ++m_busyDepth;
        beginWork();
    } else if (m_busyDepth > 0) {
        QGuiApplication::restoreOverrideCursor();
        --m_busyDepth;
        endWork();
    }
}

void QtToolkit::beginWork() {
    if (m_workDepth++ > 0)
        return;
    m_workTime.start();
    m_lastShown = 0;
    m_records = 0;
}

void QtToolkit::workProgress(std::optional<std::size_t> recordsRead) {
    constexpr qint64 kShowAfterMs = 500;
    constexpr qint64 kRepaintEveryMs = 100;
    if (m_workDepth == 0 || m_ended)
        return;
    if (recordsRead) {
        m_records = *recordsRead;
        // Called for every record: the clock is read now and then only.
        if ((++m_calls & 1023u) != 0)
            return;
    }
    const qint64 elapsed = m_workTime.elapsed();
    if (elapsed < kShowAfterMs || elapsed - m_lastShown < kRepaintEveryMs)
        return;
    m_lastShown = elapsed;
    if (!m_panel) {
        // The panel of the window the user is looking at. Without one (the
        // load behind the splash) nothing is shown and no event is let
        // through: a tick of the splash timer now would close the splash
        // before the main window is there.
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (auto* panel = window->isVisible() ? window->findChild<QWidget*>(kWorkProgressName)
                                                  : nullptr) {
                m_panel = panel;
                break;
            }
        }
        if (!m_panel)
            return;
        m_panel->show();
        m_panel->raise();
    }
    if (auto* text = m_panel->findChild<QLabel*>("workProgressText"))
        text->setText(m_records == 0 ? QString("Working...")
                                     : QString("Records read: %L1").arg(m_records));
    // Repaints; clicks and keys stay queued until the work is over.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtToolkit::endWork() {
    if (m_workDepth == 0 || --m_workDepth > 0)
        return;
    if (m_panel)
        m_panel->hide();
    m_panel = nullptr;
}

int QtToolkit::screenWidth() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry().width() : 1024;
}

int QtToolkit::screenHeight() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry().height() : 768;
}

std::string QtToolkit::programFolder() const {
    return QCoreApplication::applicationDirPath().toStdString();
}

void QtToolkit::endProgram() {
    m_ended = true;
    for (QWidget* window : QApplication::topLevelWidgets())
        window->hide();
    // Before the event loop has started this does nothing; main() checks
    // programEnded() instead of entering the loop.
    QCoreApplication::exit(0);
}

} // namespace korvalt
