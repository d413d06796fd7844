// Reload on save: the script tree the player plays, the files it was read
// from (the script, its includes, and the data files its attributes name),
// and the moment the show is to be built again: when those files changed and
// have settled, or when the performer asks for it (F5).
#pragma once

#include "common/script/xml_tag.h"
#include "player/file_watch.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class cReloader {
public:
    // How often the files are looked at, in milliseconds. A note that a
    // writer finished with a watched file has them looked at at once.
    static constexpr uint32_t kPollMs = 50;

    // watching: whether files are watched and F5 reloads at all (off in
    // capture mode and with --no-reload); the script is read either way.
    cReloader(const char* scriptName, bool watching);

    // Reads the script the first time. 0, or -1 with lastError() saying why.
    int load();
    cXmlTag* root() const { return root_.get(); }
    // The names of the files load() read (the script and its includes).
    const std::vector<std::string>& filesRead() const { return namesRead_; }
    bool watching() const { return watching_; }

    // Called between frames: true when the show is to be rebuilt now.
    bool due();
    // Asks for a rebuild at the next due() (F5).
    void request() { requested_ = watching_; }

    // Reads the script again into a new tree; null when it cannot be read,
    // with the reason in `error`. An include that the show was read from
    // and that is gone now (removed, or a folder in its place) is such a
    // reason. After a failure the files that read opened are watched too,
    // so fixing a broken include reloads, and the changes seen so far stay
    // changed until a reload succeeds.
    std::unique_ptr<cXmlTag> readAgain(std::string& error);
    // The new tree becomes the one played; the old one is freed.
    void adopt(std::unique_ptr<cXmlTag> tree);

    // Data paths that changed for the latest due() (empty for F5).
    const std::vector<std::string>& changed() const { return changed_; }
    const std::vector<std::string>& watched() const { return watch_.paths(); }

    // The data paths of the files a tree was read from and names: the files
    // the reader opened and every attribute value that reads as a file name
    // (a texture, a picture, a tune; a MIDI file in both places it is read
    // from).
    static std::vector<std::string> filesOf(const cXmlTag* tree, const std::vector<std::string>& namesRead);
    // True for an attribute value that can name a data file: no commas,
    // quotes or control characters, no blank at either end, and an
    // extension of one to four letters or digits, one a letter.
    static bool looksLikeFileName(const char* value);

private:
    std::unique_ptr<cXmlTag> read(std::vector<std::string>& namesRead);
    // The reason a read that parsed is still refused: an include of the
    // show played that is gone. Empty when there is none.
    std::string vanishedInclude(const std::vector<std::string>& namesRead) const;
    // The data paths of the files read that are there now.
    static std::vector<std::string> filesPresent(const std::vector<std::string>& namesRead);

    std::string script_;
    bool watching_;
    std::unique_ptr<cXmlTag> root_;
    cFileWatch watch_;
    uint32_t lastPoll_ = 0;
    bool requested_ = false;
    std::vector<std::string> changed_;
    std::vector<std::string> namesRead_; // by the latest readAgain
    std::vector<std::string> present_;   // the files read for the show played that were there
};
