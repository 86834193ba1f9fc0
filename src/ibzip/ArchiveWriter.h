// IB_Zip: packs the files a spec selects into a new or an existing archive.
//
// Called with the settings mutex held (IbZipExports.cpp); uses worker threads of its own for deflating.
#pragma once

#include "ibzip/ZipSettings.h"

namespace quillon::ibzip {

// Packs the files of settings.zipSpec into settings.zipArchive (see IbZip.h for every setting and
// result). The archive is built under its name plus ".part", flushed and renamed over the archive, so
// that the archive's name always holds a whole archive: the new one on success, else the old one (or
// none). An existing archive is never written in place. With a source list (settings.sourceList) the
// listed files are packed instead of the spec's walk; the call empties the list and leaves a result per
// listed file in settings.sourceResults (see IB_ZipSourceList in IbZip.h).
Outcome WriteArchive(ZipSettings& settings);

}  // namespace quillon::ibzip
