// Toolbars of the main frame, and the prompt texts of commands: the status
// text and, after "\n", the tool tip.
#include "res/resource.h"

namespace {

struct Prompt {
  unsigned id;
  const char* text;
};

const Prompt kPrompts[] = {
    {57600, "Create a new window\nNew"},
    {57601, "Open a chart file\nOpen"},
    {57607, "Print the active chart\nPrint"},
    {33294, "Current advisor account in use\nAdvisor Acct"},
    {57664, "Show the program version\nAbout"},
    {32818, "Open a new Chart\nNew Chart"},
    {32907, "Create new chart with first symbol in current SLFMap\nChart"},
    {32908, "Create new SLFMap chart from current SLF File\nSLFMap"},
    {32969, "Create new quotes chart with symbols from current SLF file\nQuotes"},
    {32970, "Create new horse race chart with symbols from current SLF file\nHorse Race"},
    {33011, "Create new time & sales window\nTime&Sales"},
    {33292, "Create new Price Volume Distribution chart\nPVD"},
    {32977, "Update daily charts of all symbols in current SLF file\nUpdate Daily Charts"},
    {32778, "Update data for all symbol files now\nUpdate"},
    {32911, "Quote Collection ON/OFF\nQuote Collection On/Off"},
    {33295, "Request account updates\nAcct Updates"},
    {33278, "Initialize playback\nInitialize"},
    {33279, "Close playback\nClose"},
    {33166, "Start playback\nStart"},
    {33168, "Stop playback\nStop"},
    {33280, "Rewind and Clear Chart\nRewind"},
    {33276, "Skip playback data\nSkip"},
    {33281, "Playback speed realtime\nRealtime"},
    {33282, "Accelerate playback speed\nAccelerate"},
    {33277, "Playback at max speed\nMax Speed"},
    {1014, "Current symbol list file (SLF) in use\nSLF"},
    {1022, "Current line color in use\nLine Color"},
    {33243, "Currently selected line style\nLine Style"},
    {33231, "Arrow mode\nArrow"},
    {33230, "Draw a horizontal line\nHorizontal Line"},
    {33229, "Draw a vertical line\nVertical Line"},
    {33233, "Draw a 2 point finite line\nFinite Line"},
    {33232, "Draw a ray\nRay"},
    {33234, "Draw a 2 point infinite line\nInfinite Line"},
    {33240, "Draw Fibonacci lines\nFibonacci"},
    {33236, "Draw channel lines\nChannel"},
    {33247, "Draw a line parallel to the selected one\nParallel Line"},
};

std::vector<KvToolButton> buttons(std::initializer_list<unsigned> ids) {
  std::vector<KvToolButton> out;
  for (unsigned id : ids) out.push_back({id, int(id), id ? kv_res_prompt(id) : nullptr});
  return out;
}

}  // namespace

const char* kv_res_prompt(unsigned command_id) {
  for (const Prompt& p : kPrompts)
    if (p.id == command_id) return p.text;
  return nullptr;
}

std::vector<KvToolButton> kv_res_toolbar(int id) {
  switch (id) {
    case IDR_MAINFRAME:
      return buttons({57600, 57601, 0, 32907, 32908, 32969, 32970, 33011, 33292, 0, 32977, 32911,
                      33295, 0, 57607, 57664});
    case IDR_PLAYBACK_BAR:
      return buttons({33278, 33279, 0, 33166, 33168, 33280, 33276, 0, 33281, 33282, 33277});
    case IDR_DRAW_BAR:
      return buttons(
          {1022, 33243, 0, 33231, 33230, 33229, 33233, 33232, 33234, 33240, 33236, 33247});
    case IDR_SLF_BAR:
      return buttons({1014});
    case IDR_ADVISOR_BAR:
      return buttons({33294});
    default:
      return {};
  }
}
