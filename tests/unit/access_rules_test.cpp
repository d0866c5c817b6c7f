// The printer's security rules on plain facts: the folders' access lists
// read back entry by entry against what each folder must allow, the job
// file's and the lock's lists, the paths the monitor may open, which job
// owners may print and which folders the setup may trust.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "monitor/access_rules.h"
#include "monitor/owner_rules.h"
#include "setup/folder_trust.h"

namespace {

const uint32_t kFullControl = 0x1F01FF;
const uint32_t kGenericRead = 0x120089;
const uint32_t kAddFile = 0x2;
const uint32_t kAddSubfolder = 0x4;
const uint32_t kDeleteChild = 0x40;
const uint32_t kDelete = 0x10000;
const uint32_t kWriteDac = 0x40000;
const uint32_t kWriteOwner = 0x80000;

struct Ace {
  std::string type, flags, trustee;
  uint32_t rights;
};

struct Descriptor {
  std::string owner;
  bool isProtected = false;
  std::vector<Ace> aces;
};

uint32_t ParseRights(const std::string& text) {
  if (text.compare(0, 2, "0x") == 0) return static_cast<uint32_t>(strtoul(text.c_str(), nullptr, 16));
  if (text == "FA") return kFullControl;
  if (text == "FR") return kGenericRead;
  if (text == "GA") return 0x10000000;
  if (text == "KA") return 0xF003F;
  ADD_FAILURE() << "rights not understood: " << text;
  return 0;
}

// Enough of SDDL for what the rules use: owner, group, a DACL with flags,
// and allow entries of six fields.
Descriptor ParseSddl(const std::string& sddl) {
  Descriptor parsed;
  size_t at = 0;
  while (at < sddl.size()) {
    if (sddl.compare(at, 2, "O:") == 0 || sddl.compare(at, 2, "G:") == 0) {
      size_t end = sddl.find(':', at + 2);
      end = end == std::string::npos ? sddl.size() : end - 1;
      if (sddl[at] == 'O') parsed.owner = sddl.substr(at + 2, end - at - 2);
      at = end;
    } else if (sddl.compare(at, 2, "D:") == 0) {
      at += 2;
      for (; at < sddl.size() && sddl[at] != '('; ++at) parsed.isProtected |= sddl[at] == 'P';
      while (at < sddl.size() && sddl[at] == '(') {
        size_t end = sddl.find(')', at);
        std::vector<std::string> fields;
        std::string body = sddl.substr(at + 1, end - at - 1);
        for (size_t from = 0;;) {
          size_t semicolon = body.find(';', from);
          fields.push_back(body.substr(from, semicolon - from));
          if (semicolon == std::string::npos) break;
          from = semicolon + 1;
        }
        EXPECT_EQ(6u, fields.size()) << body;
        if (fields.size() == 6) parsed.aces.push_back({fields[0], fields[1], fields[5], ParseRights(fields[2])});
        at = end + 1;
      }
    } else {
      ADD_FAILURE() << "unexpected SDDL at " << sddl.substr(at);
      break;
    }
  }
  return parsed;
}

bool Has(const std::string& flags, const char* flag) { return flags.find(flag) != std::string::npos; }

// What `trustee` may do to the folder itself, and to files created in it.
uint32_t FolderRights(const Descriptor& d, const char* trustee) {
  uint32_t rights = 0;
  for (const Ace& ace : d.aces)
    if (ace.trustee == trustee && !Has(ace.flags, "IO")) rights |= ace.rights;
  return rights;
}

uint32_t FileRights(const Descriptor& d, const char* trustee) {
  uint32_t rights = 0;
  for (const Ace& ace : d.aces)
    if (ace.trustee == trustee && Has(ace.flags, "OI")) rights |= ace.rights;
  return rights;
}

TEST(AccessRulesTest, EachFolderAllowsWhatItMustAndNoMore) {
  const struct {
    const char* path;
    bool shared;
    bool usersAddFiles;
    uint32_t usersOnFiles;  // what every user may do to any file there
    uint32_t ownerOnFiles;  // what the owner of a file there may do (OWNER RIGHTS)
  } rules[] = {
      {"C:\\Kestrin", false, false, 0, 0},
      {"C:\\Kestrin", true, false, 0, 0},
      {"C:\\Kestrin\\Print", false, false, 0, 0},
      {"C:\\Kestrin\\Print", true, false, 0, 0},
      {"C:\\Kestrin\\Print\\Config", false, true, 0x1301bf, 0x1301bf},
      {"C:\\Kestrin\\Print\\Config", true, false, 0x1200a9, 0},
  };
  ASSERT_EQ(3, kProtectedFolderCount);
  for (const auto& rule : rules) {
    int i = static_cast<int>(&rule - rules) / 2;
    SCOPED_TRACE(std::string(rule.path) + (rule.shared ? " shared" : " one-user"));
    EXPECT_STREQ(rule.path, kProtectedFolders[i].path);
    const char* sddl = rule.shared && kProtectedFolders[i].sharedSddl != nullptr ? kProtectedFolders[i].sharedSddl
                                                                                 : kProtectedFolders[i].sddl;
    Descriptor d = ParseSddl(sddl);
    EXPECT_EQ("BA", d.owner);
    EXPECT_TRUE(d.isProtected) << "inherits from the folder above";
    for (const char* admin : {"SY", "BA"}) {
      EXPECT_EQ(kFullControl, FolderRights(d, admin)) << admin;
      EXPECT_EQ(kFullControl, FileRights(d, admin)) << admin;
    }
    uint32_t users = FolderRights(d, "AU");
    EXPECT_EQ(rule.usersAddFiles, (users & kAddFile) != 0);
    EXPECT_EQ(0u, users & (kAddSubfolder | kDeleteChild | kDelete | kWriteDac | kWriteOwner))
        << "users could make a folder, remove or rename entries, or change the list";
    if (!rule.shared) {
      EXPECT_EQ(users, kProtectedFolders[i].usersMay) << "the port's check would refuse the folder";
    }
    EXPECT_EQ(rule.usersOnFiles, FileRights(d, "AU"));
    EXPECT_EQ(rule.ownerOnFiles, FileRights(d, "OW"));
    EXPECT_EQ(0u, (FileRights(d, "AU") | FileRights(d, "OW")) & (kWriteDac | kWriteOwner))
        << "whoever wrote a file last could lock the others out";
    EXPECT_EQ(0u, FileRights(d, "CO")) << "no file there is a user's own";
    for (const Ace& ace : d.aces) {
      EXPECT_EQ("A", ace.type);
      EXPECT_TRUE(ace.trustee == "SY" || ace.trustee == "BA" || ace.trustee == "AU" || ace.trustee == "OW")
          << ace.trustee;
    }
  }
  // The settings file's own list matches its folder's, kind for kind.
  Descriptor oneUser = ParseSddl(kSettingsFileSddl);
  Descriptor shared = ParseSddl(kSharedSettingsFileSddl);
  EXPECT_TRUE(oneUser.isProtected && shared.isProtected);
  EXPECT_EQ(0x1301bfu, FolderRights(oneUser, "AU"));
  EXPECT_EQ(0x1301bfu, FolderRights(oneUser, "OW"));
  EXPECT_EQ(0x1200a9u, FolderRights(shared, "AU"));
  EXPECT_EQ(0u, FolderRights(shared, "OW"));
}

TEST(AccessRulesTest, JobFileAndLockListsNameTheirOneUser) {
  Descriptor job = ParseSddl(kJobFileSddl);
  EXPECT_TRUE(job.isProtected);
  EXPECT_EQ(kFullControl, FolderRights(job, "SY"));
  EXPECT_EQ(kFullControl, FolderRights(job, "BA"));
  EXPECT_EQ(2u, job.aces.size()) << "no user opens a job file or the spool file: the run gets a handle";

  const char sid[] = "S-1-5-21-1004336348-1177238915-682003330-1001";
  char sddl[kOwnerSddlSize];
  ASSERT_TRUE(FormatPortLockSddl(sid, sddl, sizeof sddl));
  Descriptor lock = ParseSddl(sddl);
  EXPECT_TRUE(lock.isProtected);
  ASSERT_EQ(3u, lock.aces.size());
  EXPECT_EQ(sid, lock.aces[2].trustee);

  Descriptor record = ParseSddl(kRecordKeySddl);
  EXPECT_TRUE(record.isProtected);
  for (const Ace& ace : record.aces) EXPECT_TRUE(ace.trustee == "SY" || ace.trustee == "BA") << ace.trustee;

  // A SID that would break out of its entry, or a list that does not fit,
  // gives nothing at all.
  std::string longest = "S-1-5-21";
  for (int i = 0; i < 14; ++i) longest += "-4294967295";
  for (const char* bad : {"", "S-", "AU", "S-1-5-21)(A;;FA;;;WD", "S-1-5 -18", "s-1-5-18"}) {
    memset(sddl, 'x', sizeof sddl);
    EXPECT_FALSE(FormatPortLockSddl(bad, sddl, sizeof sddl)) << bad;
    EXPECT_EQ('\0', sddl[0]) << bad;
  }
  EXPECT_TRUE(FormatPortLockSddl(longest.c_str(), sddl, sizeof sddl)) << "the longest SID fits";
  EXPECT_FALSE(FormatPortLockSddl(sid, sddl, 40));
  EXPECT_EQ('\0', sddl[0]);
}

TEST(AccessRulesTest, MonitorOpensOnlyPlainFolders) {
  const struct {
    uint32_t attributes;
    bool safe;
  } folders[] = {
      {0x10, true}, {0x30, true}, {0x410, false}, {0x20, false}, {0xFFFFFFFF, false}, {0x400, false},
  };
  for (const auto& f : folders) EXPECT_EQ(f.safe, IsSafeFolderAttributes(f.attributes)) << std::hex << f.attributes;
}

TEST(OwnerRulesTest, OnlyInteractiveUsersGetAJobFile) {
  const struct {
    OwnerKind kind;
    uint32_t session;
    bool interactive;
    bool canImpersonate;
    OwnerVerdict verdict;
  } cases[] = {
      {kOwnerUser, 1, true, true, kOwnerMayPrint},
      {kOwnerUser, 3, true, true, kOwnerMayPrint},
      {kOwnerUnknown, 1, true, true, kRefuseNoOwner},
      {kOwnerSystem, 0, false, true, kRefuseServiceOwner},
      {kOwnerSystem, 1, true, true, kRefuseServiceOwner},
      {kOwnerLocalService, 0, false, true, kRefuseServiceOwner},
      {kOwnerNetworkService, 0, false, true, kRefuseServiceOwner},
      {kOwnerAnonymous, 1, true, true, kRefuseAnonymousOwner},
      {kOwnerUser, 0, false, true, kRefuseNotInteractive},  // printed from another machine
      {kOwnerUser, 0, true, true, kRefuseNotInteractive},
      {kOwnerUser, 2, false, true, kRefuseNotInteractive},  // a batch or service logon
      {kOwnerUser, 2, true, false, kRefuseCannotImpersonate},
  };
  for (const auto& c : cases) {
    OwnerFacts facts = {c.kind, c.session, c.interactive, c.canImpersonate};
    OwnerVerdict verdict = JudgeJobOwner(&facts);
    EXPECT_EQ(c.verdict, verdict) << "case " << (&c - cases);
    EXPECT_NE(nullptr, OwnerVerdictReason(verdict));
  }
}

TEST(FolderTrustTest, WritableByAnyoneButAdministratorsIsFound) {
  const AceFacts adminsOnly[] = {{true, kFullControl, kTrusteeSystem},
                                 {true, kFullControl, kTrusteeAdministrators},
                                 {true, kFullControl, kTrusteeInstaller},
                                 {true, kFullControl, kTrusteeCreatorOwner},
                                 {true, 0x1200a9, kTrusteeOther}};
  const AceFacts usersAddFiles[] = {{true, kFullControl, kTrusteeAdministrators}, {true, 0x1200ab, kTrusteeOther}};
  const AceFacts usersModifyFiles[] = {{true, 0x1301bf, kTrusteeOther}};
  const AceFacts usersDenied[] = {{false, kFullControl, kTrusteeOther}};
  const AceFacts setupUser[] = {{true, kFullControl, kTrusteeSetupUser}};
  const AceFacts genericWrite[] = {{true, 0x40000000, kTrusteeOther}};
  const struct {
    FolderFacts facts;
    bool writable;
  } cases[] = {
      {{kTrusteeAdministrators, true, adminsOnly, 5}, false},
      {{kTrusteeSystem, true, nullptr, 0}, false},
      {{kTrusteeOther, true, adminsOnly, 5}, true},  // its owner may rewrite the list
      {{kTrusteeAdministrators, false, nullptr, 0}, true},
      {{kTrusteeAdministrators, true, usersAddFiles, 2}, true},
      {{kTrusteeAdministrators, true, usersModifyFiles, 1}, true},
      {{kTrusteeAdministrators, true, usersDenied, 1}, false},
      {{kTrusteeSetupUser, true, setupUser, 1}, false},
      {{kTrusteeAdministrators, true, genericWrite, 1}, true},
  };
  for (const auto& c : cases) EXPECT_EQ(c.writable, IsFolderWritableByOthers(&c.facts)) << "case " << (&c - cases);
}

// The port's check before each job: Wine reports a folder as owned by the
// process's user, with SYSTEM and that user in full and Everyone looking in.
TEST(FolderTrustTest, PortUsesOnlySpoolFoldersSecuredBySetup) {
  const uint32_t kLookInside = 0x1200a9;
  const AceFacts asSecured[] = {{true, kFullControl, kTrusteeSystem},
                                {true, kFullControl, kTrusteeAdministrators},
                                {true, kLookInside, kTrusteeOther}};
  const AceFacts asUnderWine[] = {{true, kFullControl, kTrusteeSystem},
                                  {true, kFullControl, kTrusteeSetupUser},
                                  {true, kLookInside, kTrusteeOther}};
  const AceFacts usersAddFiles[] = {{true, kFullControl, kTrusteeAdministrators}, {true, 0x1200ab, kTrusteeOther}};
  const AceFacts creatorOwner[] = {{true, kFullControl, kTrusteeAdministrators},
                                   {true, kFullControl, kTrusteeCreatorOwner}};
  const AceFacts usersDenied[] = {{false, kFullControl, kTrusteeOther}};
  const struct {
    FolderFacts facts;
    bool processUserTrusted;
    bool secured;
  } cases[] = {
      {{kTrusteeAdministrators, true, asSecured, 3}, false, true},
      {{kTrusteeSystem, true, asSecured, 3}, false, true},
      {{kTrusteeInstaller, true, asSecured, 3}, false, true},
      {{kTrusteeOther, true, asSecured, 3}, false, false},  // a user's folder: their handles keep access
      {{kTrusteeSetupUser, true, asUnderWine, 3}, true, true},
      {{kTrusteeSetupUser, true, asUnderWine, 3}, false, false},         // the spooler's own user is SYSTEM
      {{kTrusteeAdministrators, false, nullptr, 0}, false, false},       // no list: everyone may do anything
      {{kTrusteeAdministrators, true, usersAddFiles, 2}, false, false},  // the list of an older setup
      {{kTrusteeAdministrators, true, creatorOwner, 2}, false, false},
      {{kTrusteeAdministrators, true, usersDenied, 1}, false, true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.secured, IsSpoolFolderSecured(&c.facts, kLookInside, c.processUserTrusted)) << "case " << (&c - cases);
}

TEST(FolderTrustTest, SetupAdoptsOnlyFoldersAnAdministratorMade) {
  const uint32_t kMissing = 0xFFFFFFFF;
  const struct {
    uint32_t attributes;
    TrusteeKind owner;
    FolderAdoption adoption;
  } cases[] = {
      {kMissing, kTrusteeOther, kCreateFolder},       {0x10, kTrusteeAdministrators, kAdoptFolder},
      {0x10, kTrusteeSystem, kAdoptFolder},           {0x10, kTrusteeInstaller, kAdoptFolder},
      {0x10, kTrusteeSetupUser, kAdoptFolder},        {0x10, kTrusteeOther, kMoveFolderAside},
      {0x10, kTrusteeCreatorOwner, kMoveFolderAside}, {0x410, kTrusteeAdministrators, kRefuseLinkFolder},
      {0x410, kTrusteeOther, kRefuseLinkFolder},      {0x20, kTrusteeAdministrators, kRefuseFileFolder},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.adoption, DecideFolderAdoption(c.attributes, c.owner)) << "case " << (&c - cases);
}

}  // namespace
