// Starting the user's default web browser with an address.
//
// The platform layer gives the command registered for opening web addresses; the logic reduces it
// to a program and starts that program with the address as its argument. Nothing goes through a
// shell: the address is data, whatever blanks or shell characters it holds.
#pragma once

#include <functional>
#include <string>
#include <vector>

// True when a browser command was found and its start was requested (whether the program then
// runs is not part of the result); false when there is no command and nothing was started. Does
// not wait for the browser.
bool LaunchBrowser(const std::string& url);

// The same with a given registered command instead of the platform's.
bool LaunchBrowserWith(const std::string& command, const std::string& url);

// The argument vector a registered command and an address give; empty when the command names no
// program. A Windows-style command (it holds ".exe") is lower-cased (ASCII), cut after the first
// ".exe" and stripped of double quotes. Any other command starts the program named by its first
// word (desktop-entry quoting understood), unchanged; a wrapper ("env VAR=… program",
// "flatpak run … APP-ID") is followed to the program it starts and kept with its own words.
// Either way the address is the last argument; the program's options and placeholders such as %u
// are dropped.
std::vector<std::string> BrowserArgumentVector(const std::string& command, const std::string& url);

// The command registered for opening web addresses, or "" when there is none. On Linux: $BROWSER
// when set (its first entry), else the desktop's default browser (xdg-settings, then xdg-mime) and
// the Exec line of its desktop entry.
std::string RegisteredBrowserCommand();

// Replaces the platform lookup (tests, or a front end with its own setting); an empty function
// restores it. Returns the previous replacement.
using BrowserCommandLookup = std::function<std::string()>;
BrowserCommandLookup SetBrowserCommandLookup(BrowserCommandLookup lookup);

// The pieces of the Linux lookup, exposed for tests.
namespace browser_detail {
// The Exec value of the [Desktop Entry] group of a desktop file's text, string escapes resolved.
std::string DesktopEntryExec(const std::string& desktopFileText);
// Looks up a desktop file id (such as "firefox-esr.desktop") in $XDG_DATA_HOME and $XDG_DATA_DIRS
// and returns its Exec value, or "".
std::string ExecOfDesktopId(const std::string& desktopId);
// The words of a desktop-entry Exec value by its quoting rules.
std::vector<std::string> SplitExecWords(const std::string& exec);
}  // namespace browser_detail
