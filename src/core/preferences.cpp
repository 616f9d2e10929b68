#include "core/preferences.h"

#include "core/file_util.h"
#include "core/ini_file.h"
#include "core/text.h"

namespace quorvane {

namespace {
std::string withPlaceholder(const std::string& value, const std::string& basedir) {
    if (basedir.empty()) return value;
    return replaceAllIgnoreCase(value, basedir, "$BASEDIR$");
}
}  // namespace

PreferenceValues preferencesForDisplay(const Settings& s) {
    PreferenceValues v;
    if (const Category* c = categoryByDatabaseName(s.currentdb)) v.defaultDb = std::string(c->displayName);
    v.basedir = s.basedir;
    v.sourcedir = withPlaceholder(s.sourcedir, s.basedir);
    v.tosecdir = withPlaceholder(s.tosecdir, s.basedir);
    v.gooddir = withPlaceholder(s.gooddir, s.basedir);
    v.arcadedir = withPlaceholder(s.arcadedir, s.basedir);
    v.arcadeunemudir = withPlaceholder(s.arcadeunemudir, s.basedir);
    v.miscdir = withPlaceholder(s.miscdir, s.basedir);
    v.customdir = withPlaceholder(s.customdir, s.basedir);
    v.useMD5 = s.useMD5;
    v.useSHA1 = s.useSHA1;
    v.fullScan = s.fullScan;
    v.output = s.output;
    v.mergeMode = s.mergeMode;
    return v;
}

bool savePreferences(const PreferenceValues& v, Settings& s) {
    std::string databaseName;
    for (const Category& c : kCategories)
        if (c.displayName == v.defaultDb) databaseName = std::string(c.databaseName);

    makeFolders(dirName(s.settingsPath));
    IniFile ini(s.settingsPath);
    const char* section = "Quorvane";
    const bool ok = ini.writeString(section, "basedir", v.basedir) &&
                    ini.writeString(section, "sourcedir", v.sourcedir) &&
                    ini.writeString(section, "currentdb", databaseName) &&
                    ini.writeString(section, "tosecdir", v.tosecdir) &&
                    ini.writeString(section, "gooddir", v.gooddir) &&
                    ini.writeString(section, "arcadedir", v.arcadedir) &&
                    ini.writeString(section, "arcadeunemudir", v.arcadeunemudir) &&
                    ini.writeString(section, "miscdir", v.miscdir) &&
                    ini.writeString(section, "customdir", v.customdir) &&
                    ini.writeBool(section, "useMD5", v.useMD5) && ini.writeBool(section, "useSHA1", v.useSHA1);
    const bool written = ok && ini.writeString(section, "output", archiveOutputName(v.output)) &&
                         ini.writeString(section, "merge-mode", mergeModeName(v.mergeMode)) &&
                         ini.writeBool(section, "fullScan", v.fullScan);

    s.basedir = v.basedir;
    s.sourcedir = v.sourcedir;
    s.tosecdir = v.tosecdir;
    s.gooddir = v.gooddir;
    s.arcadedir = v.arcadedir;
    s.arcadeunemudir = v.arcadeunemudir;
    s.miscdir = v.miscdir;
    s.customdir = v.customdir;
    s.useMD5 = v.useMD5;
    s.useSHA1 = v.useSHA1;
    s.fullScan = v.fullScan;
    s.output = v.output;
    s.mergeMode = v.mergeMode;
    return written;
}

}  // namespace quorvane
