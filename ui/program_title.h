#pragma once

// The caption of the main window and of every message box the program shows.
inline constexpr char programTitle[] = "Morvane 4.8 Patch";
