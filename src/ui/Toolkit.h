#pragma once

#include <cstddef>
#include <optional>
#include <string>

class QWidget;

namespace korvalt {

// The panel a window offers for showing long work (a QFrame holding a
// QLabel named "workProgressText"); hidden while no work goes on.
inline constexpr const char* kWorkProgressName = "workProgress";

enum class MsgButtons { Ok, OkCancel };
enum class MsgIcon { None, Critical, Exclamation, Information };
enum class MsgAnswer { Ok, Cancel };

// Everything modal or process-wide that the program asks of its platform:
// message boxes, the common file dialogs, modal windows, the busy pointer,
// the screen, the program's folder and ending the program. The application
// uses the Qt implementation; tests answer through a scripted fake, so no
// test ever waits on a real dialog.
class Toolkit {
public:
    virtual ~Toolkit() = default;

    virtual MsgAnswer msgBox(const std::string& text, const std::string& title, MsgButtons buttons,
                             MsgIcon icon) = 0;

    // File-open dialog. `filter` is in the "Description|pattern|..." form.
    // Returns the chosen full path, or nothing when the user cancels.
    virtual std::optional<std::string> openFileDialog(const std::string& filter,
                                                      bool hideReadOnly) = 0;
    // File-save dialog with its own title; asks before overwriting an
    // existing file when `promptOverwrite` is set. Returns the name as
    // typed (no extension added), or nothing when the user cancels.
    virtual std::optional<std::string>
    saveFileDialog(const std::string& title, const std::string& filter, bool promptOverwrite) = 0;

    // Shows a window modally: returns once the window has been hidden.
    virtual void showModal(QWidget& window) = 0;

    virtual void setBusyPointer(bool busy) = 0;

    // Long work: from beginWork (or the busy pointer going on) to the
    // matching endWork (or the pointer going off), nested pairs counting
    // once. workProgress is called often meanwhile, with the records read
    // so far where the caller counts them (nothing when it only says it is
    // still busy); once the work has gone on for about half a second the
    // window's work panel shows a busy bar with that count, and the windows
    // repaint; clicks and keys wait until the work is over. The panel hides
    // when the work ends. Cheap enough to be called for every record;
    // without a window it does nothing.
    virtual void beginWork() {}
    virtual void workProgress(std::optional<std::size_t> recordsRead) { (void)recordsRead; }
    virtual void endWork() {}

    // Size of the screen in pixels.
    virtual int screenWidth() const = 0;
    virtual int screenHeight() const = 0;

    // Folder of the running program, without a trailing separator.
    virtual std::string programFolder() const = 0;
    // The user's own folder for Korvalt's settings ($XDG_CONFIG_HOME/korvalt,
    // usually ~/.config/korvalt), for when the program's folder cannot be
    // written (an installed program); it need not exist yet. Empty where
    // there is none: the settings then stay beside the program.
    virtual std::string userSettingsFolder() const { return {}; }

    // Ends the program: no window survives and no further events are
    // handled. Code after the call still returns normally to its caller.
    virtual void endProgram() = 0;
    virtual bool programEnded() const = 0;
};

} // namespace korvalt
