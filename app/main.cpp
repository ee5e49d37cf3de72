// korvane: the desktop program.
#include "app/application.h"

int main(int argc, char** argv) { return kv::app::RunApplication(argc, argv); }
