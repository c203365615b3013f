#pragma once

#include "ui/Toolkit.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QString>

#include <memory>

class QFileDialog;
class QMessageBox;

namespace korvalt {

// The platform services on Qt Widgets.
class QtToolkit : public Toolkit {
public:
    MsgAnswer msgBox(const std::string& text, const std::string& title, MsgButtons buttons,
                     MsgIcon icon) override;
    std::optional<std::string> openFileDialog(const std::string& filter,
                                              bool hideReadOnly) override;
    std::optional<std::string> saveFileDialog(const std::string& title, const std::string& filter,
                                              bool promptOverwrite) override;
    void showModal(QWidget& window) override;
    void setBusyPointer(bool busy) override;
    void beginWork() override;
    void workProgress(std::optional<std::size_t> recordsRead) override;
    void endWork() override;
    int screenWidth() const override;
    int screenHeight() const override;
    std::string programFolder() const override;
    std::string userSettingsFolder() const override;
    void endProgram() override;
    bool programEnded() const override { return m_ended; }

    // Turns a "Description|pattern|Description|pattern|" filter into the
    // form the Qt file dialogs take.
    static QString qtFilter(const std::string& filter);

    // The box msgBox() shows, built but not shown. Its text is plain text:
    // a file name like "<A&B>.dwg" shows as typed.
    static std::unique_ptr<QMessageBox> makeMessageBox(const std::string& text,
                                                       const std::string& title, MsgButtons buttons,
                                                       MsgIcon icon);

private:
    // The file dialogs, built but not shown. Both open in the folder of the
    // file last chosen in either of them; before any choice the open dialog
    // starts in the folder of the current database.
    std::unique_ptr<QFileDialog> makeOpenDialog(const std::string& filter) const;
    std::unique_ptr<QFileDialog> makeSaveDialog(const std::string& title, const std::string& filter,
                                                bool promptOverwrite) const;
    void rememberChoice(const QString& path);

    bool m_ended = false;
    // Folder of the file last chosen in a dialog, and the name last chosen
    // for an export (an export offers it again, never a database's name).
    QString m_lastFolder;
    QString m_lastSaveName;
    int m_busyDepth = 0;

    // The long work under way, and the window panel showing it.
    int m_workDepth = 0;
    QElapsedTimer m_workTime;
    qint64 m_lastShown = 0;
    std::size_t m_records = 0;
    unsigned m_calls = 0;
    QPointer<QWidget> m_panel;
};

} // namespace korvalt
