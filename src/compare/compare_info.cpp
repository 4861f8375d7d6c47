// The comparison record of one installation, and MD5 of a file.
#include "compare/compare_info.h"

#include <array>
#include <cmath>

#include "compare/md5.h"
#include "discovery/server_search.h"

namespace tw {
namespace {

constexpr TDateTime kOneSecond = 1.0 / 86400.0;

// DosTimeToDateTime of an entry's stamp, or 0 when the stamp names no real
// date or time. A stamp from the platform is always valid, so this only guards
// against a damaged one; the record must still be built rather than the whole
// scan being aborted.
TDateTime EntryTime(const TSearchRec& rec)
{
    try {
        return DosTimeToDateTime(rec.Time);
    } catch (const EConvertError&) {
        return 0;
    }
}

// Looks up path's own entry (files, folders, hidden and system alike) into
// info. False when there is none.
bool LookUpEntry(StringView path, TFileCompareInfo& info)
{
    TSearchRec rec;
    if (StartSearch(path, faAnyFile, rec) != 0)
        return false;
    info.FileSize = rec.Size;
    info.ModifiedTime = EntryTime(rec);
    info.FileExists = true;
    EndSearch(rec);
    return true;
}

}  // namespace

String GetRelativeName(StringView fileName, StringView baseServerPrefix)
{
    if (baseServerPrefix.empty())
        return NamePart(fileName);
    // By length alone: the prefix comes from the first dropped path, and the
    // other dropped files share it.
    if (fileName.size() <= baseServerPrefix.size())
        return {};
    return String(fileName.substr(baseServerPrefix.size()));
}

String CounterpartPath(StringView dir, StringView fileName, StringView baseServerPrefix)
{
    return WithTrailingBackslash(dir) + GetRelativeName(fileName, baseServerPrefix);
}

String GetStreamMD5(TFileStream& stream)
{
    std::array<std::uint8_t, 4096> buffer;
    TMD5 md5;
    for (;;) {
        const std::size_t got = stream.Read(buffer.data(), buffer.size());
        if (got == 0)
            break;
        md5.Update(buffer.data(), got);
    }
    return MD5ToHex(md5.Final());
}

namespace {

// GetFileMD5's open: null where it gives an empty digest without reading.
std::unique_ptr<TFileStream> OpenToHash(StringView path)
{
    if (!IsFile(path))
        return nullptr;
    return OpenForReading(path);  // a refusal throws: no digest
}

}  // namespace

std::vector<String> GetFilesMD5(const std::vector<String>& paths, TMD5Kernel kernel)
{
    const std::vector<std::optional<TMD5Digest>> digests = MD5OfStreams(
        paths.size(), [&](std::size_t i) { return OpenToHash(paths[i]); }, kernel);
    std::vector<String> texts;
    texts.reserve(digests.size());
    for (const std::optional<TMD5Digest>& digest : digests)
        texts.push_back(digest ? MD5ToHex(*digest) : String());
    return texts;
}

String GetFileMD5(StringView path)
{
    if (!IsFile(path))
        return {};
    try {
        const std::unique_ptr<TFileStream> stream = OpenForReading(path);
        return GetStreamMD5(*stream);
    } catch (const std::exception&) {
        // Refused open (held for writing, vanished, access denied) or a
        // failure while hashing: no digest rather than a wrong one.
        return {};
    }
}

TFileCompareInfo LoadFirstFileInfo(const std::vector<String>& droppedFileNames)
{
    TFileCompareInfo info;
    if (droppedFileNames.empty())
        return info;
    const String& path = droppedFileNames.front();
    if (!LookUpEntry(path, info))
        return info;
    info.MD5Hash = GetFileMD5(path);
    return info;
}

namespace {

// BuildCompareInfo up to the digest: true when the counterpart, at target, is
// to be hashed.
bool LookUpCounterpart(StringView dir, TFileCompareInfo& info,
                       const std::vector<String>& droppedFileNames,
                       StringView baseServerPrefix, const TFileCompareInfo& firstFileInfo,
                       String& target)
{
    info = TFileCompareInfo{};
    const String ini = WithTrailingBackslash(dir) + u"Config.ini";
    if (IsFile(ini))
        info.GameName = ReadGameName(ini);
    if (droppedFileNames.empty())
        return false;

    target = CounterpartPath(dir, droppedFileNames.front(), baseServerPrefix);
    if (!LookUpEntry(target, info))
        return false;
    // Without a first file there is nothing to measure against: not hashed.
    return firstFileInfo.FileExists;
}

// The rest of BuildCompareInfo once info.MD5Hash is known.
void CompareWithFirst(TFileCompareInfo& info, const TFileCompareInfo& firstFileInfo)
{
    // An empty digest means the content could not be read (held open for
    // writing, access denied, a folder): two unknowns are not the same file,
    // and calling them identical would hide a copy the operator still needs.
    info.IsSameMD5 = !info.MD5Hash.empty() && info.MD5Hash == firstFileInfo.MD5Hash;
    if (info.IsSameMD5) {
        info.TimeCompare = u"相同";
        return;
    }

    if (info.FileSize < firstFileInfo.FileSize)
        info.SizeCompare = u"较小";
    else if (info.FileSize > firstFileInfo.FileSize)
        info.SizeCompare = u"较大";
    else
        info.SizeCompare = u"相同";

    // A side without a stamp cannot be ordered: say nothing about the time
    // rather than call it older or the same.
    if (info.ModifiedTime == 0 || firstFileInfo.ModifiedTime == 0)
        return;
    const TDateTime diff = info.ModifiedTime - firstFileInfo.ModifiedTime;
    if (std::fabs(diff) < kOneSecond)
        info.TimeCompare = u"相同";
    else if (diff < 0)
        info.TimeCompare = u"较旧";
    else
        info.TimeCompare = u"较新";
}

}  // namespace

void BuildCompareInfo(StringView dir, TFileCompareInfo& info,
                      const std::vector<String>& droppedFileNames,
                      StringView baseServerPrefix,
                      const TFileCompareInfo& firstFileInfo)
{
    String target;
    if (!LookUpCounterpart(dir, info, droppedFileNames, baseServerPrefix, firstFileInfo, target))
        return;
    info.MD5Hash = GetFileMD5(target);
    CompareWithFirst(info, firstFileInfo);
}

void BuildCompareInfos(const std::vector<String>& dirs, std::vector<TFileCompareInfo>& infos,
                       const std::vector<String>& droppedFileNames,
                       StringView baseServerPrefix,
                       const TFileCompareInfo& firstFileInfo,
                       TMD5Kernel kernel)
{
    // Every counterpart is looked up first; those to hash are hashed
    // together, then each record is finished in order.
    std::vector<TFileCompareInfo> records;
    std::vector<std::size_t> hashed;  // indexes into records, in order
    std::vector<String> targets;
    records.reserve(dirs.size());
    auto finish = [&] {
        const std::vector<String> digests = GetFilesMD5(targets, kernel);
        for (std::size_t i = 0; i < hashed.size(); ++i) {
            TFileCompareInfo& info = records[hashed[i]];
            info.MD5Hash = digests[i];
            CompareWithFirst(info, firstFileInfo);
        }
        for (TFileCompareInfo& info : records)
            infos.push_back(std::move(info));
    };
    try {
        for (const String& dir : dirs) {
            TFileCompareInfo info;
            String target;
            const bool hash = LookUpCounterpart(dir, info, droppedFileNames, baseServerPrefix,
                                                firstFileInfo, target);
            records.push_back(std::move(info));
            if (hash) {
                hashed.push_back(records.size() - 1);
                targets.push_back(std::move(target));
            }
        }
    } catch (...) {
        // The records looked up before the error, complete, as the loop
        // over BuildCompareInfo would have left them.
        finish();
        throw;
    }
    finish();
}

}  // namespace tw
