// A module of texts only: nothing runs in it.
extern "C" int MwUiTextsOverrideModule() { return 0; }
