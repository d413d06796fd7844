// Effect plug-in libraries: loading them at run time and asking them, in
// load order, for effects by type name.
#pragma once

#include <string>

class cEffect;

class cLibrary {
public:
    ~cLibrary() { close(); }
    void open(const char* fileName);
    void close();
    bool isOpen() const { return module_ != nullptr; }
    void* symbol(const char* name) const;

private:
    void* module_ = nullptr;
};

class cPlugin {
public:
    ~cPlugin() { unload(); }
    // True when the library loads and exports both hasFX and getFX.
    bool load(const char* fileName);
    void unload();
    // A new effect of that type, or null when this library does not make it.
    cEffect* create(const char* typeName);
    // Whether this library makes effects of that type (nothing is made).
    bool makes(const char* typeName) const;
    // The file name it was loaded by.
    const char* fileName() const { return fileName_; }

    // Which of the standard effect types it makes: "clear, flash, ...".
    std::string typesMade() const;

private:
    cLibrary* library_ = nullptr;
    char fileName_[64] = {};
};

// What a person needs after "could not find effect": the type no library
// makes, and the types each loaded library makes.
std::string describeUnknownType(const char* typeName, cPlugin* const* plugins, int count);
