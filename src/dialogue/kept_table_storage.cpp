#include "dialogue/kept_table_storage.h"

namespace rxc {

void acquireKeptTableStores(Session&) {}  // placeholder until the stores land

}  // namespace rxc
