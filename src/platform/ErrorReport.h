#pragma once

#include <functional>

// Runs a user action. An error it raises aborts it and is shown in a message box through the
// current prompter; a silent abort (a declined delete) ends it without a word. Returns true
// when the action ran to its end.
bool GuardAction(const std::function<void()> &action);
