#pragma once

#include "ui/Toolkit.h"

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
};

} // namespace korvalt
