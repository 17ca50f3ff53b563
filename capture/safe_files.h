// Files written safely: a private working folder, and the hidden temporary name an output is
// written under before it is renamed into place, so an interrupted or failed write never
// replaces an older file. Each is locked (flock) for as long as its owner (or a child that
// inherited it) lives, so a later run can tell what a killed run left behind from what a
// running one is using, and remove it.
#pragma once

#include <string>

namespace capture {

// A file or folder that exists under a name made for it, locked while this object (or a child
// process forked meanwhile) holds it. Destroying it releases the lock and leaves the name.
class Reservation {
  public:
    Reservation() = default;
    ~Reservation();
    Reservation(Reservation&& other) noexcept;
    Reservation& operator=(Reservation&& other) noexcept;
    Reservation(const Reservation&) = delete;
    Reservation& operator=(const Reservation&) = delete;

    bool Valid() const { return fd_ >= 0; }
    // The folder's path ends in "/".
    const std::string& Path() const { return path_; }
    // Removes what the name holds (a folder with everything in it) if it is still the file or
    // folder made for it, and releases the reservation.
    void Remove();

  private:
    friend Reservation MakePrivateWorkFolder(std::string* error);
    friend Reservation ReserveTemporarySibling(const std::string& finalPath, std::string* error);
    Reservation(std::string path, int fd, bool folder);
    void Release();
    bool StillOurs() const;

    std::string path_;
    int fd_ = -1;
    bool folder_ = false;
};

// A new, empty, private folder "filmcast-XXXXXX/" under the system's temporary folder.
// Invalid, with the reason, when it cannot be made.
Reservation MakePrivateWorkFolder(std::string* error);

// A new hidden name beside `finalPath` to write it under: "." + file name + ".XXXXXX" + the
// file's extension (so an image keeps its format), the file name shortened when that would
// pass the folder's file-name limit. Invalid, with the reason, when it cannot be made.
Reservation ReserveTemporarySibling(const std::string& finalPath, std::string* error);

// Working folders that runs killed before they could clean up left behind: ours by name and
// owner, locked by nobody and untouched for at least kStaleAfterSeconds. Removed.
void RemoveStaleWorkFolders();
// The same for temporary siblings of `finalPath`.
void RemoveStaleTemporarySiblings(const std::string& finalPath);
inline constexpr int kStaleAfterSeconds = 10;

// Puts the finished file `from` at `to`, replacing what is there only once it is complete: a
// rename, or across file systems a copy into the reserved sibling `through` renamed into place.
// False, with the reason (and `to` untouched), when that fails.
bool PublishFile(const std::string& from, const Reservation& through, const std::string& to,
                 std::string* error);

// Removes a folder and everything in it; no error when it is gone already.
void RemoveTree(const std::string& folder);

}  // namespace capture
