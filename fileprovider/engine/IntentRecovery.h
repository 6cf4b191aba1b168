// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "disk/LocalScan.h"
#include "engine/EngineContext.h"

#include <QCoro/QCoroTask>

namespace OrvelanNimbal::FileProvider {

// Finishes what a run cut short, from the intents it wrote down first: an item parked under a
// name of ours goes back to its place (or to where it was going, whichever is free), a
// download's temporary is removed, an upload in parts is abandoned on the service. Intents that
// cannot be finished yet (the service unreachable, every place taken) stay for the next pass.
class IntentRecovery {
public:
    explicit IntentRecovery(EngineContext &context);

    // Throws what ends a pass (no session, the journal).
    QCoro::Task<> finish(CancellationToken cancel);
    // What a scan found of ours that no intent names any more: temporaries of downloads and
    // probes are removed; an item still parked is put back at its row's place when it is free.
    void sweep(const LocalScan &scan);

private:
    // A parked item put back, a download's temporary removed; false while it cannot be yet.
    bool finishOnDisk(const Intent &intent);

    EngineContext &m_context;
};

} // namespace OrvelanNimbal::FileProvider
