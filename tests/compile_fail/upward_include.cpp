// A header of the report layer, which sits above the engine. Compiled with the
// include folders of the report layer and of those it uses, it compiles; with
// those that an engine file sees (the engine's and the base's), the include
// must not be found: a layer cannot reach a layer above it (src/CMakeLists.txt).
#include "report/report_head.h"
