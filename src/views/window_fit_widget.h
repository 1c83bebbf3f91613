#pragma once
// Top-level windows that fit the screen they open on: the size wanted, made
// smaller to fit the screen's free area, centred; and, once the window
// system has framed the window, frame and all within that area.
#include <QSize>

class QWidget;

void FitWindowToScreen(QWidget* window, QSize wanted);
// The frame's size is known only a moment after the window shows: call this
// then (the main window and the Trends window do so from their first show).
void KeepFrameOnScreen(QWidget* window);
