#include "StationComposer.h"

#define SC_KEY_TEXT_ENTRY(name) #name,

const char *const sc_key_text[SC_KEY_COUNT] = {SC_KEY_LIST(SC_KEY_TEXT_ENTRY)};
