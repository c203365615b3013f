#include "ui/QtToolkit.h"

#include "database/Database.h"
#include "database/clsDatabaseControl.h"
#include "startup/Module1.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QStandardPaths>
#include <QLabel>
#include <QStringList>
#include <QWidget>

namespace korvalt {

namespace {
// Folder of the database in use (or of the one recorded, when it could not
// be opened), where the user is most likely to look for another one.
QString databaseFolder() {
    std::string path;
    if (gDatabase)
        path = gDatabase->path();
    else if (gDatabaseControl)
        path = gDatabaseControl->dataAddress();
    if (path.empty())
        return {};
    const QFileInfo file(QString::fromStdString(path));
    return file.absoluteDir().exists() ? file.absolutePath() : QString();
}

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

std::unique_ptr<QMessageBox> QtToolkit::makeMessageBox(const std::string& text,
                                                       const std::string& title, MsgButtons buttons,
                                                       MsgIcon icon) {
    auto box = std::make_unique<QMessageBox>();
    // Messages carry names out of the database and the file system; Qt would
    // take a text that looks like markup for rich text.
    box->setTextFormat(Qt::PlainText);
    box->setText(displayText(text));
    box->setWindowTitle(QString::fromStdString(title));
    switch (icon) {
    case MsgIcon::None:
        box->setIcon(QMessageBox::NoIcon);
        break;
    case MsgIcon::Critical:
        box->setIcon(QMessageBox::Critical);
        break;
    case MsgIcon::Exclamation:
        box->setIcon(QMessageBox::Warning);
        break;
    case MsgIcon::Information:
        box->setIcon(QMessageBox::Information);
        break;
    }
    if (buttons == MsgButtons::OkCancel) {
        box->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box->setEscapeButton(QMessageBox::Cancel);
    } else {
        box->setStandardButtons(QMessageBox::Ok);
        box->setEscapeButton(QMessageBox::Ok);
    }
    box->setDefaultButton(QMessageBox::Ok);
    return box;
}

MsgAnswer QtToolkit::msgBox(const std::string& text, const std::string& title, MsgButtons buttons,
                            MsgIcon icon) {
    if (m_ended)
        return MsgAnswer::Cancel;
    const std::unique_ptr<QMessageBox> box = makeMessageBox(text, title, buttons, icon);
    // A message must be readable even while the busy pointer is on.
    QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    const int result = box->exec();
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

std::unique_ptr<QFileDialog> QtToolkit::makeOpenDialog(const std::string& filter) const {
    auto dialog = std::make_unique<QFileDialog>(QApplication::activeWindow());
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilter(qtFilter(filter));
    const QString folder = m_lastFolder.isEmpty() ? databaseFolder() : m_lastFolder;
    if (!folder.isEmpty())
        dialog->setDirectory(folder);
    return dialog;
}

std::unique_ptr<QFileDialog> QtToolkit::makeSaveDialog(const std::string& title,
                                                       const std::string& filter,
                                                       bool promptOverwrite) const {
    auto dialog =
        std::make_unique<QFileDialog>(QApplication::activeWindow(), QString::fromStdString(title));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setNameFilter(qtFilter(filter));
    if (!promptOverwrite)
        dialog->setOption(QFileDialog::DontConfirmOverwrite);
    // Before any choice the dialog starts where Qt starts it (the working
    // folder).
    if (!m_lastFolder.isEmpty())
        dialog->setDirectory(m_lastFolder);
    if (!m_lastSaveName.isEmpty())
        dialog->selectFile(m_lastSaveName);
    return dialog;
}

void QtToolkit::rememberChoice(const QString& path) {
    m_lastFolder = QFileInfo(path).absolutePath();
}

// Qt's dialog has no read-only check box to hide, so `hideReadOnly` asks
// for nothing here (QFileDialog::ReadOnly would make the dialog itself
// read-only instead).
std::optional<std::string> QtToolkit::openFileDialog(const std::string& filter, bool hideReadOnly) {
    (void)hideReadOnly;
    if (m_ended)
        return std::nullopt;
    const std::unique_ptr<QFileDialog> dialog = makeOpenDialog(filter);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return std::nullopt;
    const QString chosen = dialog->selectedFiles().first();
    rememberChoice(chosen);
    return chosen.toStdString();
}

std::optional<std::string> QtToolkit::saveFileDialog(const std::string& title,
                                                     const std::string& filter,
                                                     bool promptOverwrite) {
    if (m_ended)
        return std::nullopt;
    const std::unique_ptr<QFileDialog> dialog = makeSaveDialog(title, filter, promptOverwrite);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return std::nullopt;
    const QString chosen = dialog->selectedFiles().first();
    rememberChoice(chosen);
    m_lastSaveName = QFileInfo(chosen).fileName();
    return chosen.toStdString();
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
    if (auto* text = m_panel->findChild<QLabel*>("workProgressText")) {
        text->setTextFormat(Qt::PlainText);
        text->setText(m_records == 0 ? QString("Working...")
                                     : QString("Records read: %L1").arg(m_records));
    }
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

std::string QtToolkit::userSettingsFolder() const {
    // $XDG_CONFIG_HOME, or ~/.config when that is unset, on Linux.
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return base.isEmpty() ? std::string() : (base + "/korvalt").toStdString();
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
