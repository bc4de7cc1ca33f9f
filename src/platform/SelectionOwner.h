#pragma once

// Who holds the PRIMARY selection (the text selected last, in whichever window). Opens its own connection
// to the display, so it may be called from any thread.
namespace SelectionOwner
{
// Whether the PRIMARY selection belongs to the program whose window has the keyboard focus, so that it is
// the selection the user sees there and not one left behind in another window long ago. False without a
// display, an owner or a focused window.
bool primaryIsFocusedWindows();
} // namespace SelectionOwner
