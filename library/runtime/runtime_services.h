// The runtime's internal services for the other subsystems: the log writer's state, the tracked
// heap's record, handle words and tables, the handle chain and the byte ring.
#pragma once

#include "runtime/byte_ring.h"
#include "runtime/handle_chain.h"
#include "runtime/handle_table.h"
#include "runtime/log.h"
#include "runtime/tracked_heap.h"
