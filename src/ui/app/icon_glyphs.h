#pragma once

class QPainter;

namespace kov {

// Our own drawings of the program's icons, each on a 16x16 grid: the icon engine scales the
// painter to the size asked for, so they stay sharp at any size.
using Glyph = void (*)(QPainter&);

namespace glyphs {

// The application and its tray states.
void App(QPainter& p);
void TrayDownloading(QPainter& p);
void TrayScheduler(QPainter& p);
void TrayMail(QPainter& p);

// Commands.
void Plus(QPainter& p);
void Pencil(QPainter& p);
void Floppy(QPainter& p);
void ArrowUp(QPainter& p);
void ArrowDown(QPainter& p);
void Cross(QPainter& p);
void Globe(QPainter& p);
void Info(QPainter& p);
void Gear(QPainter& p);
void Play(QPainter& p);
void StopSquare(QPainter& p);
void Plug(QPainter& p);
void Clock(QPainter& p);
void LimitOn(QPainter& p);
void LimitOff(QPainter& p);
void Help(QPainter& p);

// Rows of the URL list.
void RowNotDue(QPainter& p);
void RowOrdinary(QPainter& p);
void RowDisabled(QPainter& p);
void RowFinished(QPainter& p);
void RowRunning(QPainter& p);
void RowQueued(QPainter& p);
void RowAborted(QPainter& p);
void RowStopRequested(QPainter& p);
void RowError(QPainter& p);
void RowEmail(QPainter& p);
void RowLocal(QPainter& p);

}  // namespace glyphs
}  // namespace kov
