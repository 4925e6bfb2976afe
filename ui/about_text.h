#pragma once

#include <QString>

// The rich text of the about box that follows its heading: what the program does and how to
// use it, and a link to the product's page.
QString aboutText();
