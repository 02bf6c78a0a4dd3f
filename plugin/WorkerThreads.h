// How many worker threads a run starts.
#pragma once

// `requested` when it is positive, otherwise one per hardware thread of the machine (at least
// 1); never more than there are work items (rows or faces), but always at least 1, so that a run
// with nothing to do still starts and ends its workers the usual way.
int RunWorkerThreads(int requested, long long workItems);
