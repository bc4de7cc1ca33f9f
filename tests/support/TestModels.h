#pragma once

// Speech models for tests of the layers that recognize.
namespace TestModels
{
// Puts a file that passes for whisper's Turbo where the app looks for it, as a user of earlier versions has it:
// the active model while the user chose none. False when it cannot.
bool placeDefault();
} // namespace TestModels
