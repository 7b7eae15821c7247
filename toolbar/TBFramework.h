// State of the menu and toolbar framework beyond single objects: per thread, the count of live
// items and viewers and the post queue that runs a chosen command (or an accessibility action)
// after the menus are gone; per process, the menu font. Start-up and shut-down are counted.
#pragma once

#include "platform/Graphics.h"
#include "platform/ObjectModel.h"

class TTBCustomItem;
class TTBItemViewer;

// Items and viewers count themselves; when the thread's count returns to 0 its post queue goes.
void TBLiveObjectCreated();
void TBLiveObjectDestroyed();
int TBLiveObjectCount();

// Runs the item's Click from a posted message, once the caller's loop has returned.
void QueueClick(TTBCustomItem* item);
// Runs the viewer's accessibility selection (execute: its default action) from a posted message.
void PostViewerAction(TTBItemViewer* viewer, bool execute);
// Neutralises every pending entry of the object: its message then finds nothing to run.
void RemoveFromPostQueue(TObject* object);
// Pending entries of the thread (for tests).
int PostQueuePending();

// The last mouse position the menu loop saw (process-wide); forgetting it makes the loop look at
// the mouse again.
void TBSetLastMousePos(POINT p);
bool TBGetLastMousePos(POINT& p);
void TBForgetLastMousePos();

// The font views use for their text: the system's menu font (nullptr before start-up).
TFont* TBMenuFont();
// The canvas viewers are measured on, with the font (bold when asked). One memory DC serves every
// view of the thread while they use the same font.
TCanvas* TBMeasureCanvas(TFont* font, bool bold);
// Reads the system's menu font again (after a settings change).
void TBRefreshMenuFont();

// Counted start-up and shut-down of the framework; the item classes register for streaming.
void InitTBFramework();
void DoneTBFramework();
