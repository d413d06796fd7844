// Byte streams and the data file locator.
//
// Every data file the system reads (the script, included scripts, textures,
// pictures, music) is named by a bare file name and read whole into memory by
// cMemoryStream(name), which looks for it under data/ in a folder chosen by
// the file's extension.
#pragma once

#include <cstdio>

class cStream {
public:
    virtual ~cStream() = default;
    virtual int read(void* destination, int length);
    virtual int write(const void* source, int length);
    // origin 0: from the start, 1: from the current position, 2: back from the end.
    virtual int seek(int offset, int origin);
    virtual int tell();
    virtual unsigned size();
    virtual bool eof();

protected:
    void* data_ = nullptr; // cMemoryStream: its buffer; cFileStream: the FILE*
    int position_ = 0;
    int size_ = 0;

    void movePosition(long long delta);
};

class cMemoryStream : public cStream {
public:
    // The largest data file read: what the stream's int size can count.
    static constexpr long long kMaxDataFileBytes = 0x7FFFFFFF;

    cMemoryStream() = default;
    // The data file locator: reads data/<folder>/<name> whole. A file that
    // cannot be opened, or is larger than kMaxDataFileBytes or than the
    // memory left, gives an empty stream and "Error: file not found PATH".
    explicit cMemoryStream(const char* name);
    // A stream over a copy of the given bytes.
    cMemoryStream(const void* bytes, int length);
    ~cMemoryStream() override;

    cMemoryStream(const cMemoryStream&) = delete;
    cMemoryStream& operator=(const cMemoryStream&) = delete;

    int read(void* destination, int length) override;
    int write(const void* source, int length) override;
    unsigned size() override;

    unsigned char* data() { return static_cast<unsigned char*>(data_); }

    // Hands the buffer to the caller, who frees it with delete[]. The stream
    // keeps reading from it until the caller frees it. Only the first call
    // hands it out; later calls return null.
    unsigned char* releaseBuffer();

private:
    bool owns_ = true;
};

class cFileStream : public cStream {
public:
    // mode 1: read, 2: write (truncate), 3: read and write an existing file.
    cFileStream(const char* path, int mode);
    ~cFileStream() override;

    cFileStream(const cFileStream&) = delete;
    cFileStream& operator=(const cFileStream&) = delete;

    int read(void* destination, int length) override;
    int write(const void* source, int length) override;
    int seek(int offset, int origin) override;
    unsigned size() override;
    // The length of the open file in bytes, also where it is too long for
    // size(); 0 without a file and for anything but a regular file (a
    // folder or a device has no usable length).
    long long length();

    bool isOpen() const { return data_ != nullptr; }
    // Bytes the last read actually delivered.
    int lastReadCount() const { return lastRead_; }

private:
    std::FILE* file() const { return static_cast<std::FILE*>(data_); }
    int lastRead_ = 0;
};

// Builds the data path of a file name: "data/", the folder chosen by the
// extension, the name. Returns false when the path does not fit pathSize.
bool locateDataFile(const char* name, char* path, int pathSize);
