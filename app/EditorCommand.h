#pragma once

#include <ostream>
#include <string>
#include <vector>

// `zarn editor IN [--headless] [--seconds S] [--size WxH] [--scale F] [--screenshot FILE]
// [--screenshot-at S] [--render OUT]`: plays IN through the plug-in in real time, looping, with the
// editor page open in Chromium at WxH CSS pixels (default 1440x604) and F device pixels per CSS
// pixel; page edits change the processing live. --screenshot saves the page after S seconds of
// playback (default 3) and ends;
// --render writes IN with the final settings on exit. Without an audio device the playback is
// paced silently in real time.
int RunEditorCommand(const std::vector<std::string>& args, std::ostream& out);

// The editor page beside this program: the bundle's copy, else the source tree's.
std::string FindEditorPage(const std::string& programPath);
