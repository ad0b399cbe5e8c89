#pragma once

// The sync status belongs to the sync layer; the settings re-export it for their views.
#include "sync/SyncStatus.h"
