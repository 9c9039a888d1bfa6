// Tab order for widgets a page adds in code: Qt puts them last, whatever their place on the page.
#pragma once

#include <initializer_list>

class QWidget;

// Makes Tab visit `widgets` in the given order, each one with the widgets inside it that take the focus
// (a list with its buttons) in their own order, from the first on.
void ChainTabOrder(std::initializer_list<QWidget*> widgets);
