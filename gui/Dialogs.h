#pragma once

#include <functional>
#include <optional>
#include <string>

namespace gui {

class RootControl;

// Dialogs drawn by the toolkit inside the window, above everything, so they
// work in any host and on a virtual display. Each takes all input until it
// closes (Enter confirms, Escape cancels) and returns at once; the result
// arrives through the callback, after the dialog has gone.

// A message with an OK button.
void messageBox(RootControl& root, const std::string& message, std::function<void()> done = {});

// A question with OK and Cancel: true for OK.
void confirmBox(RootControl& root, const std::string& question, std::function<void(bool)> done);

// A line of text to type, starting with `initial`; nothing when cancelled.
void textEntryDialog(RootControl& root, const std::string& prompt, const std::string& initial,
                     std::function<void(std::optional<std::string>)> done);

// A folder, browsed from `start` (slash-terminated paths; ".." goes up, a
// double click opens a folder, "Choose" takes the selected folder or, with
// none selected, the one shown); nothing when cancelled.
void folderChooser(RootControl& root, const std::string& title, const std::string& start,
                   std::function<void(std::optional<std::string>)> done);

} // namespace gui
