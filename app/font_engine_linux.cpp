#include "app/font_engine.h"

// FreeType is the only font engine Qt has here.
void chooseFontEngine() {}
