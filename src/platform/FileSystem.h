#pragma once

#include <string>

namespace tavelune::platform {

// True when a file (not a folder) of that name exists.
//
// Names are looked up the way Windows does everywhere: on Linux a name that
// does not exist as spelled also finds a file whose name differs from it only
// in ASCII letter case (a recorder's "x.SDB" beside "x.mpg" may arrive as
// "x.sdb" on a copied disk). TByteFile::Open resolves names the same way.
bool FileExists(const std::string& fileName);

// True when a folder (or a link to one) of that name exists.
bool DirectoryExists(const std::string& name);

// True when the name is a device rather than a file or folder: on Linux an
// existing character or block device, FIFO or socket (after links); on
// Windows a reserved device name ("NUL", "CON", "COM1", also with an
// extension or a folder in front, as C:\x\CON.txt) or a \\.\ name.
// Nothing is opened to tell.
bool NamesDevice(const std::string& name);

// The name under which the file or folder is found, resolving letter case as
// FileExists does; the name unchanged when nothing matches.
std::string ResolveFileName(const std::string& fileName);

}  // namespace tavelune::platform
