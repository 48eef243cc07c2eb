#pragma once

class QMainWindow;
class QTabWidget;

// Opens the window at least at the size its pages need for their texts in the fonts of this
// desktop, never below the size it was designed at: with large fonts (a 150 % desktop) the
// designed size cuts captions off. Rows that a page places at fixed positions are moved apart
// and widened as far as their contents need; the window then keeps the size found.
void FitWindowToContents(QMainWindow &window, QTabWidget &tabs);
