// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace OrvelanNimbal::Service {

class ServiceContext;

// Removes what uploads cut short by a kill left on disk: half-written ".partial" files, of
// content and of parts, the folders of uploads the database no longer knows or that have no
// part recorded, and content that no file of the drive names (put in place, but the commit
// never came). Called when the
// service starts, once it holds its data directory: nothing is being written then. Gives how
// many files and folders went.
int removeUploadLeftovers(ServiceContext &context);

} // namespace OrvelanNimbal::Service
