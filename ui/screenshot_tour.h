#pragma once
// A hidden tour through both windows for taking screenshots (scripts/
// screenshots). It starts only when ABSENCE_COLLECTOR_TOUR names a day
// (YYYY-MM-DD): the program then picks that day, runs a collection, presses
// time order on the empty list, collects, orders by time, opens the save
// question and, after its answer, collects again (the script holds a data
// file open by then, for the error box). At each stop it prints "SHOT <name>"
// on standard output and waits for a line on standard input, while the screen
// is captured.

class TForm_top;

namespace absence::ui {

void StartScreenshotTourIfAsked(TForm_top &startWindow);

} // namespace absence::ui
