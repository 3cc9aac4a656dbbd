#include "app/entry.h"

#include "ui/Unit1.h"

int CamviewMain(int argc, char** argv) { return RunApplication(argc, argv, &Form1); }
