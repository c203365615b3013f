#pragma once

#include "ui/Toolkit.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QString>

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
    void endProgram() override;
    bool programEnded() const override { return m_ended; }

    // Turns a "Description|pattern|Description|pattern|" filter into the
    // form the Qt file dialogs take.
    static QString qtFilter(const std::string& filter);

private:
    bool m_ended = false;
    QString m_lastFileName;
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
