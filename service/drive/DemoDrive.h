// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace OrvelanNimbal::Service {

class ContentStore;
class DriveChange;

// A drive that looks lived in, for the demo and for trying a client by hand: nested folders,
// a few hundred small files with real content (texts, tables, PNG photos with thumbnails),
// some archived in every cold storage class, some in the trash. The same every time, apart
// from dates, which are set back from now.
struct DemoDriveCounts {
    int folders = 0;
    int files = 0;
    int archivedFiles = 0;
    int trashedFiles = 0;
};

// Seeds the account of `change`. Throws DriveFailure when the drive already has an item of
// the same name at the top (a second seeding), and std::runtime_error when the disk refuses.
DemoDriveCounts seedDemoDrive(DriveChange &change, const ContentStore &store);

} // namespace OrvelanNimbal::Service
