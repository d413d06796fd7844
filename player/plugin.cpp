#include "player/plugin.h"

#include "common/effect/effect.h"
#include "common/script/xml_tag.h"
#include "platform/library.h"
#include "player/demo.h"
#include "player/log.h"
#include "player/script_check.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

void cLibrary::open(const char* fileName)
{
    close();
    module_ = platform::openLibrary(fileName);
}

void cLibrary::close()
{
    if (module_) platform::closeLibrary(module_);
    module_ = nullptr;
}

void* cLibrary::symbol(const char* name) const { return module_ ? platform::librarySymbol(module_, name) : nullptr; }

bool cPlugin::load(const char* fileName)
{
    unload();
    std::snprintf(fileName_, sizeof fileName_, "%s", fileName ? fileName : "");
    library_ = new cLibrary();
    library_->open(fileName);
    if (!library_->isOpen()) return false;
    return library_->symbol("hasFX") && library_->symbol("getFX");
}

void cPlugin::unload()
{
    delete library_;
    library_ = nullptr;
}

cEffect* cPlugin::create(const char* typeName)
{
    if (!library_) return nullptr;
    auto has = reinterpret_cast<HasFxFunction>(library_->symbol("hasFX"));
    auto get = reinterpret_cast<GetFxFunction>(library_->symbol("getFX"));
    if (!has || !get || !has(typeName)) return nullptr;
    return get(typeName);
}

bool cPlugin::makes(const char* typeName) const
{
    auto has = library_ ? reinterpret_cast<HasFxFunction>(library_->symbol("hasFX")) : nullptr;
    return has && has(typeName);
}

std::string cPlugin::typesMade() const
{
    static const char* const kStandardTypes[] = {"clear",     "flash",  "picture", "fontcool",
                                                 "musicplay", "shader", "webcam"};
    std::string types;
    for (const char* type : kStandardTypes)
        if (makes(type)) types += (types.empty() ? "" : ", ") + std::string(type);
    return types.empty() ? "none of the standard types" : types;
}

std::string describeUnknownType(const char* typeName, cPlugin* const* plugins, int count)
{
    std::string text = std::string("no library loaded makes the type \"") + (typeName ? typeName : "") + "\"";
    if (count == 0) return text + " (no library is loaded before this add)";
    for (int i = 0; i < count; ++i)
        text += std::string("; ") + plugins[i]->fileName() + " makes " + plugins[i]->typesMade();
    return text;
}

// ---- The demo's plug-in commands -------------------------------------------

void cDemo::loadPlugin(cXmlTag* tag)
{
    cLog* log = cLog::get();
    char fileName[64] = {};
    bool named = false;
    for (const cXmlParam* p : tag->params()) {
        if (strcasecmp(p->name, "file") == 0) {
            std::snprintf(fileName, sizeof fileName, "%s", p->value); // the last file counts
            named = true;
        }
    }
    if (!named) return;
    if (pluginCount >= kMaxPlugins) {
        log->logf("ERROR loadlibrary: %s not loaded, a show holds at most %d plug-ins", fileName, kMaxPlugins);
        return;
    }
    // A reload takes the library the show had loaded by the same name
    // again instead of loading it anew.
    for (int i = 0; i < spareCount_; ++i) {
        if (std::strcmp(spare_[i]->fileName(), fileName) != 0) continue;
        plugins[pluginCount++] = spare_[i];
        spare_[i] = spare_[--spareCount_];
        spare_[spareCount_] = nullptr;
        log->logf("loadlibrary: %s (kept)", fileName);
        return;
    }
    cPlugin* plugin = new cPlugin();
    if (plugin->load(fileName)) {
        plugins[pluginCount++] = plugin;
        log->logf("loadlibrary: %s", fileName);
    } else {
        log->logf("ERROR loadlibrary: %s not found", fileName);
        const char* why = platform::lastLibraryError();
        if (why && *why) log->logf("(%s)", why);
        delete plugin;
    }
}

cEffect* cDemo::createEffect(const char* typeName)
{
    for (int i = 0; i < pluginCount; ++i)
        if (cEffect* e = plugins[i]->create(typeName)) return e;
    return nullptr;
}

void cDemo::addEffect(cXmlTag* tag)
{
    cLog* log = cLog::get();
    // The effect's type and name fields hold 15 characters; longer values
    // are cut, and lookups by name cut the wanted name the same way.
    char typeName[sizeof cEffect::type] = {};
    char instanceName[sizeof cEffect::name] = {};
    bool typeCut = false, nameCut = false;
    for (const cXmlParam* p : tag->params()) {
        if (strcasecmp(p->name, "type") == 0)
            typeCut = std::snprintf(typeName, sizeof typeName, "%s", p->value) >= int(sizeof typeName);
        else if (strcasecmp(p->name, "name") == 0)
            nameCut = std::snprintf(instanceName, sizeof instanceName, "%s", p->value) >= int(sizeof instanceName);
    }
    if (rerun.again && findEffect(instanceName)) return; // a fragment that runs again adds its effect once only
    if (typeCut) log->logf("add: type cut to %d characters: %s", int(sizeof typeName) - 1, typeName);
    if (nameCut) log->logf("add: name cut to %d characters: %s", int(sizeof instanceName) - 1, instanceName);
    if (effectCount >= kMaxEffects) {
        log->logf("could not add effect: %s, a show holds at most %d effects", instanceName, kMaxEffects);
        return;
    }
    cEffect* effect = createEffect(typeName);
    if (!effect) {
        log->logf("could not find effect: %s", instanceName);
        reportScriptProblem(tag, describeUnknownType(typeName, plugins, pluginCount));
        return;
    }
    effect->width = static_cast<float>(width);
    effect->height = static_cast<float>(height);
    effect->registry = registry;
    effect->setName(instanceName);
    effect->setType(typeName);
    if (const cParamList* list = effect->getParams()) {
        log->logf("effect:%s params:%i\n", list->name ? list->name : "", static_cast<int>(list->count));
        for (unsigned j = 0; j < list->count && list->params; ++j) {
            const cParam* param = list->params[j];
            if (!param) continue;
            log->logf("param%.2i name:%s type:%s\n", static_cast<int>(j), param->name ? param->name : "",
                      paramTypeWord(param->type));
        }
    }
    effects[effectCount++] = effect;
}
