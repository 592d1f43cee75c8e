// tool_sources.cpp -- the isodata tool's code (all but its main), compiled into its tests.
#include "tools/isodata/check.cpp"
#include "tools/isodata/cli.cpp"
#include "tools/isodata/json_form.cpp"
#include "tools/isodata/pictures.cpp"
#include "tools/isodata/preview.cpp"
