// The fake machine's registry (hives, the two views of a 32-bit program, raw typed values, key
// owners and DACLs with access checks) and its accounts.
#include <algorithm>
#include <stdexcept>

#include "platform/fake/FakeMachine.h"
#include "support/unicode.h"

namespace orvo::fake {

using namespace platform;

struct FakeMachine::ResolvedKey {
  std::vector<std::string> names;  // the path's names, the root first ("HKLM")
  std::string key;                 // lower-case native path
  std::string display;             // native path, stored names in the case they were made
  Dword view = 0;
};

namespace {

constexpr Dword kViewFlags = kKeyWow64_32Key | kKeyWow64_64Key;
constexpr Dword kMaximumAllowed = 0x02000000;
constexpr Dword kGenericRead = 0x80000000;
constexpr Dword kGenericWrite = 0x40000000;
constexpr Dword kGenericExecute = 0x20000000;
constexpr Dword kGenericAll = 0x10000000;
constexpr std::uint8_t kNoPropagateInheritAce = 0x4;
constexpr Dword kErrorBadPathname = 161;
constexpr Dword kErrorNoAccess = 998;
constexpr Dword kErrorKeyDeleted = 1018;
constexpr Dword kErrorInvalidOwner = 1307;
constexpr Dword kErrorNoneMapped = 1332;

// Generic rights as a key reads them.
Dword MapGeneric(Dword mask) {
  Dword mapped = mask & ~(kGenericRead | kGenericWrite | kGenericExecute | kGenericAll);
  if ((mask & kGenericRead) != 0) mapped |= kKeyRead;
  if ((mask & kGenericWrite) != 0) mapped |= kKeyWrite;
  if ((mask & kGenericExecute) != 0) mapped |= kKeyExecute;
  if ((mask & kGenericAll) != 0) mapped |= kKeyAllAccess;
  return mapped;
}

std::vector<std::string> Split(const std::string& path) {
  std::vector<std::string> names;
  std::size_t start = 0;
  for (;;) {
    const auto slash = path.find('\\', start);
    names.push_back(path.substr(start, slash == std::string::npos ? slash : slash - start));
    if (slash == std::string::npos) return names;
    start = slash + 1;
  }
}

// The names a predefined root key stands for; empty for a handle that is not one.
std::vector<std::string> RootNames(Handle root) {
  switch (root) {
    case kHkeyLocalMachine:
      return {"HKLM"};
    case kHkeyCurrentUser:
      return {"HKCU"};
    case kHkeyUsers:
      return {"HKU"};
    case kHkeyCurrentConfig:
      return {"HKCC"};
    case kHkeyClassesRoot:
      return {"HKLM", "Software", "Classes"};
    default:
      return {};
  }
}

bool IsPredefined(Handle h) { return h >= kHkeyClassesRoot && h <= kHkeyDynData; }

// A seeding path's names with its root in short form; HKCR is HKLM\Software\Classes.
std::vector<std::string> SeedNames(const std::string& path) {
  std::vector<std::string> names = Split(path);
  while (names.size() > 1 && names.back().empty()) names.pop_back();
  const std::string root = Lower(names.front());
  names.erase(names.begin());
  std::vector<std::string> rootNames;
  if (root == "hklm" || root == "hkey_local_machine") {
    rootNames = {"HKLM"};
  } else if (root == "hkcu" || root == "hkey_current_user") {
    rootNames = {"HKCU"};
  } else if (root == "hku" || root == "hkey_users") {
    rootNames = {"HKU"};
  } else if (root == "hkcc" || root == "hkey_current_config") {
    rootNames = {"HKCC"};
  } else if (root == "hkcr" || root == "hkey_classes_root") {
    rootNames = {"HKLM", "Software", "Classes"};
  } else {
    throw std::invalid_argument("FakeMachine: no registry root in " + path);
  }
  names.insert(names.begin(), rootNames.begin(), rootNames.end());
  return names;
}

std::string JoinLower(const std::vector<std::string>& names, std::size_t count) {
  std::string key;
  for (std::size_t i = 0; i < count; ++i) {
    if (i != 0) key += '\\';
    key += Lower(names[i]);
  }
  return key;
}

std::string SeedKey(const std::string& path) {
  const std::vector<std::string> names = SeedNames(path);
  return JoinLower(names, names.size());
}

// WOW64 in the 32-bit view: HKLM\Software\X is HKLM\Software\Wow6432Node\X, except for the
// Classes keys both views share; Classes\CLSID, Interface, TypeLib and AppID have 32-bit twins
// below Classes\Wow6432Node. Only names below `firstNew` are rewritten (a handle's own key was
// placed when it was opened), and a path that names Wow6432Node already is left as it is.
void Redirect(std::vector<std::string>& names, std::size_t firstNew) {
  if (names.size() < 2 || Lower(names[0]) != "hklm" || Lower(names[1]) != "software") return;
  std::size_t at = 2;
  if (names.size() > 2 && Lower(names[2]) == "classes") {
    if (names.size() < 4) return;
    const std::string below = Lower(names[3]);
    if (below != "clsid" && below != "interface" && below != "typelib" && below != "appid") return;
    at = 3;
  }
  if (at < firstNew) return;
  if (names.size() > at && Lower(names[at]) == "wow6432node") return;
  names.insert(names.begin() + static_cast<std::ptrdiff_t>(at), "Wow6432Node");
}

std::size_t FindValueIndex(const std::vector<std::pair<std::string, FakeValue>>& values,
                           const std::string& name) {
  const std::string wanted = Lower(name);
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (Lower(values[i].first) == wanted) return i;
  }
  return values.size();
}

SecurityDescriptor RootSecurity() {
  SecurityDescriptor sd;
  sd.control = kSeDaclPresent;
  sd.owner = kSidLocalSystem;
  sd.group = kSidLocalSystem;
  sd.dacl = Acl{{
      Ace{kAccessAllowedAceType, kContainerInheritAce, kKeyAllAccess, kSidLocalSystem},
      Ace{kAccessAllowedAceType, kContainerInheritAce, kKeyAllAccess, kSidAdministrators},
      Ace{kAccessAllowedAceType, kContainerInheritAce, kKeyRead, kSidUsers},
  }};
  return sd;
}

std::string LastName(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }

}  // namespace

// --- Set-up, seeding and inspection.

void FakeMachine::InitRegistry() {
  for (const char* root : {"HKLM", "HKCU", "HKU", "HKCC"}) {
    RegKey key;
    key.path = root;
    key.security = RootSecurity();
    key.created = keyOrder_++;
    keys_[Lower(root)] = key;
  }
  keys_["hkcu"].security.dacl->aces.push_back(
      Ace{kAccessAllowedAceType, kContainerInheritAce, kKeyAllAccess, userSid});
  for (const char* path : {"HKLM\\Software\\Classes", "HKLM\\Software\\Wow6432Node",
                           "HKLM\\SYSTEM\\CurrentControlSet\\Services", "HKCU\\Software"}) {
    AddKey(path);
  }
  for (auto& [key, data] : keys_) data.security.owner = kSidLocalSystem;

  accounts = {{userName, userSid},
              {"SYSTEM", kSidLocalSystem},
              {"Administrators", kSidAdministrators},
              {"Power Users", kSidPowerUsers},
              {"Users", kSidUsers},
              {"Everyone", kSidEveryone}};
}

Dword FakeMachine::DefaultView() const noexcept {
  return is64BitWindows && wow64Process ? kKeyWow64_32Key : kKeyWow64_64Key;
}

FakeMachine::RegKey* FakeMachine::FindKey(const std::string& key) {
  const auto it = keys_.find(key);
  return it == keys_.end() ? nullptr : &it->second;
}

const FakeMachine::RegKey* FakeMachine::FindKey(const std::string& key) const {
  const auto it = keys_.find(key);
  return it == keys_.end() ? nullptr : &it->second;
}

// A new key below an existing parent: owned by the administrators (the user when not
// elevated), with the parent's inheritable entries marked inherited.
FakeMachine::RegKey& FakeMachine::MakeKey(const std::string& key, const std::string& display) {
  const RegKey& parent = keys_.at(key.substr(0, key.find_last_of('\\')));
  RegKey made;
  made.path = display;
  made.created = keyOrder_++;
  made.security.control = kSeDaclPresent | kSeDaclAutoInherited;
  made.security.owner = elevated ? kSidAdministrators : userSid;
  made.security.group = parent.security.group;
  Acl acl;
  if (parent.security.dacl) {
    for (const Ace& ace : parent.security.dacl->aces) {
      if ((ace.flags & kContainerInheritAce) == 0) continue;
      Ace inherited = ace;
      inherited.flags = static_cast<std::uint8_t>((ace.flags & ~kInheritOnlyAce) | kInheritedAce);
      if ((ace.flags & kNoPropagateInheritAce) != 0) {
        inherited.flags &= static_cast<std::uint8_t>(
            ~(kContainerInheritAce | kObjectInheritAce | kNoPropagateInheritAce));
      }
      acl.aces.push_back(inherited);
    }
  } else {
    // Below a key open to everyone: the token's default, full control for its owners.
    for (const Sid& sid : {kSidLocalSystem, kSidAdministrators, userSid}) {
      acl.aces.push_back(Ace{kAccessAllowedAceType, 0, kKeyAllAccess, sid});
    }
  }
  made.security.dacl = acl;
  return keys_[key] = made;
}

std::vector<const FakeMachine::RegKey*> FakeMachine::Children(const std::string& key) const {
  std::vector<const RegKey*> children;
  const std::string prefix = key + "\\";
  for (auto it = keys_.lower_bound(prefix); it != keys_.end() && it->first.rfind(prefix, 0) == 0;
       ++it) {
    if (it->first.find('\\', prefix.size()) == std::string::npos) children.push_back(&it->second);
  }
  std::sort(children.begin(), children.end(),
            [](const RegKey* a, const RegKey* b) { return a->created < b->created; });
  return children;
}

// Every key of the path that is not there yet, from the root down.
void FakeMachine::MakeMissingKeys(const std::vector<std::string>& names) {
  std::string display = names.front();
  for (std::size_t i = 1; i < names.size(); ++i) {
    const std::string key = JoinLower(names, i + 1);
    if (const RegKey* existing = FindKey(key)) {
      display = existing->path;
    } else {
      display += "\\" + names[i];
      MakeKey(key, display);
    }
  }
}

void FakeMachine::AddKey(const std::string& path) { MakeMissingKeys(SeedNames(path)); }

bool FakeMachine::KeyExists(const std::string& path) const {
  return keys_.count(SeedKey(path)) != 0;
}

void FakeMachine::SetValue(const std::string& keyPath, const std::string& name, Dword type,
                           std::vector<std::uint8_t> data) {
  AddKey(keyPath);
  auto& values = keys_.at(SeedKey(keyPath)).values;
  const std::size_t index = FindValueIndex(values, name);
  if (index == values.size()) {
    values.emplace_back(name, FakeValue{type, std::move(data)});
  } else {
    values[index].second = FakeValue{type, std::move(data)};
  }
}

void FakeMachine::SetStringValue(const std::string& keyPath, const std::string& name,
                                 const std::string& text, Dword type, bool withNul) {
  std::vector<std::uint8_t> data = support::ToUtf16Bytes(text);
  if (withNul) data.insert(data.end(), {0, 0});
  SetValue(keyPath, name, type, std::move(data));
}

void FakeMachine::SetDwordValue(const std::string& keyPath, const std::string& name, Dword value) {
  SetValue(keyPath, name, kRegDword,
           {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)});
}

std::optional<FakeValue> FakeMachine::GetValue(const std::string& keyPath,
                                               const std::string& name) const {
  const RegKey* key = FindKey(SeedKey(keyPath));
  if (key == nullptr) return std::nullopt;
  const std::size_t index = FindValueIndex(key->values, name);
  if (index == key->values.size()) return std::nullopt;
  return key->values[index].second;
}

std::vector<std::string> FakeMachine::SubkeyNames(const std::string& path) const {
  std::vector<std::string> names;
  for (const RegKey* child : Children(SeedKey(path))) names.push_back(LastName(child->path));
  return names;
}

std::map<std::string, std::string> FakeMachine::RegistryImage(const std::string& path) const {
  std::map<std::string, std::string> image;
  const std::string key = SeedKey(path);
  const std::string prefix = key + "\\";
  // Sorted names that start with the key's own hold its subtree and its longer-named
  // siblings ("a - b" sorts between "a" and "a\\b"): only the subtree is taken.
  for (auto it = keys_.lower_bound(key); it != keys_.end() && it->first.rfind(key, 0) == 0; ++it) {
    if (it->first != key && it->first.rfind(prefix, 0) != 0) continue;
    std::string text;
    for (const auto& [name, value] : it->second.values) {
      text += name + "=" + std::to_string(value.type) + ":";
      for (const std::uint8_t byte : value.data) {
        static constexpr char kHex[] = "0123456789abcdef";
        text += kHex[byte >> 4];
        text += kHex[byte & 0xF];
      }
      text += "\n";
    }
    image[it->first] = text;
  }
  return image;
}

SecurityDescriptor* FakeMachine::KeySecurity(const std::string& path) {
  RegKey* key = FindKey(SeedKey(path));
  return key == nullptr ? nullptr : &key->security;
}

bool FakeMachine::DeleteKeyTree(const std::string& path) {
  const std::string key = SeedKey(path);
  if (keys_.erase(key) == 0) return false;
  const std::string prefix = key + "\\";
  for (auto it = keys_.lower_bound(prefix); it != keys_.end() && it->first.rfind(prefix, 0) == 0;) {
    it = keys_.erase(it);
  }
  return true;
}

std::size_t FakeMachine::OpenKeyCount() const noexcept { return keyHandles_.size(); }

std::vector<Sid> FakeMachine::TokenGroups() const {
  std::vector<Sid> groups;
  if (elevated) groups.push_back(kSidAdministrators);
  groups.push_back(kSidUsers);
  groups.push_back(kSidEveryone);
  return groups;
}

// --- Access checks and handles.

// The DACL walk of an access check: the owner may always read and write the DACL; entries
// count in order, a denied right refuses at once, inherit-only entries do not apply.
bool FakeMachine::Allowed(const RegKey& key, Dword desired) const {
  const SecurityDescriptor& sd = key.security;
  return DaclGrants(sd.owner, sd.dacl, MapGeneric(desired & ~(kViewFlags | kMaximumAllowed)),
                    MapGeneric);
}

bool FakeMachine::DaclGrants(const std::optional<Sid>& owner, const std::optional<Acl>& dacl,
                             Dword wanted, Dword (*mapGeneric)(Dword)) const {
  if (!dacl) return true;
  std::vector<Sid> token = TokenGroups();
  token.push_back(userSid);
  const auto inToken = [&token](const Sid& sid) {
    return std::find(token.begin(), token.end(), sid) != token.end();
  };
  if (owner && inToken(*owner)) wanted &= ~(kReadControl | kWriteDac);
  for (const Ace& ace : dacl->aces) {
    if (wanted == 0) return true;
    if ((ace.flags & kInheritOnlyAce) != 0 || !inToken(ace.sid)) continue;
    const Dword mask = mapGeneric(ace.mask);
    if (ace.type == kAccessDeniedAceType && (mask & wanted) != 0) return false;
    if (ace.type == kAccessAllowedAceType) wanted &= ~mask;
  }
  return wanted == 0;
}

std::optional<FakeMachine::KeyHandle> FakeMachine::OpenedKey(Handle h) const {
  if (IsPredefined(h)) {
    const std::vector<std::string> names = RootNames(h);
    if (names.empty()) return std::nullopt;
    return KeyHandle{JoinLower(names, names.size()), kKeyAllAccess, DefaultView()};
  }
  const auto it = keyHandles_.find(h);
  if (it == keyHandles_.end()) return std::nullopt;
  return it->second;
}

FakeMachine::RegKey* FakeMachine::UsableKey(Handle h, Dword right, Dword& error) {
  const std::optional<KeyHandle> handle = OpenedKey(h);
  if (!handle) {
    error = kErrorInvalidHandle;
    return nullptr;
  }
  RegKey* key = FindKey(handle->key);
  if (key == nullptr) {
    error = kErrorKeyDeleted;
    return nullptr;
  }
  if ((handle->access & right) != right) {
    error = kErrorAccessDenied;
    return nullptr;
  }
  return key;
}

// The key a path below `base` names in the view `sam` asks for (the base's own view without
// a flag). 6 for a handle that is not open, 1018 for one whose key is gone, 161 for a
// malformed path.
std::optional<FakeMachine::ResolvedKey> FakeMachine::ResolveKey(Handle base,
                                                                const std::string& subKey,
                                                                Dword sam, Dword& error) const {
  const std::optional<KeyHandle> handle = OpenedKey(base);
  if (!handle) {
    error = kErrorInvalidHandle;
    return std::nullopt;
  }
  const RegKey* baseKey = FindKey(handle->key);
  if (baseKey == nullptr) {
    error = kErrorKeyDeleted;
    return std::nullopt;
  }
  ResolvedKey resolved;
  resolved.names = Split(baseKey->path);
  resolved.view = (sam & kKeyWow64_32Key) != 0   ? kKeyWow64_32Key
                  : (sam & kKeyWow64_64Key) != 0 ? kKeyWow64_64Key
                                                 : handle->view;
  const std::size_t firstNew = resolved.names.size();
  if (!subKey.empty()) {
    std::vector<std::string> names = Split(subKey);
    if (names.size() > 1 && names.back().empty()) names.pop_back();  // one trailing backslash
    if (std::any_of(names.begin(), names.end(), [](const std::string& n) { return n.empty(); })) {
      error = kErrorBadPathname;
      return std::nullopt;
    }
    resolved.names.insert(resolved.names.end(), names.begin(), names.end());
  }
  if (is64BitWindows && resolved.view == kKeyWow64_32Key) Redirect(resolved.names, firstNew);

  resolved.display = resolved.names.front();
  for (std::size_t i = 1; i < resolved.names.size(); ++i) {
    const RegKey* existing = FindKey(JoinLower(resolved.names, i + 1));
    resolved.display =
        existing != nullptr ? existing->path : resolved.display + "\\" + resolved.names[i];
  }
  resolved.key = JoinLower(resolved.names, resolved.names.size());
  return resolved;
}

// --- The registry calls.

// The start of a call on a key path: the path resolved, the call recorded, an injected fault
// applied; nullopt with the Win32 code in `error` when the call ends there.
std::optional<FakeMachine::ResolvedKey> FakeMachine::KeyCall(const char* call, Handle base,
                                                             const std::string& subKey,
                                                             Dword samDesired, Dword& error) {
  auto resolved = ResolveKey(base, subKey, samDesired, error);
  calls.push_back(std::string(call) + "(" + (resolved ? resolved->display : subKey) + ", " +
                  Hex(samDesired) + ")");
  if (resolved && Faulted(call, resolved->display)) {
    error = GetLastError();
    return std::nullopt;
  }
  return resolved;
}

// A handle to the resolved key with the rights asked for (generic ones mapped, view flags
// dropped); paths opened below it are read in the key's view.
Handle FakeMachine::OpenKeyHandle(const ResolvedKey& key, Dword samDesired) {
  const Handle h = NewHandle();
  keyHandles_[h] = KeyHandle{key.key, MapGeneric(samDesired & ~kViewFlags), key.view};
  return h;
}

Dword FakeMachine::RegOpenKeyExW(Handle root, const std::string& subKey, Dword, Dword samDesired,
                                 Handle& result) {
  result = 0;
  Dword error = 0;
  const auto resolved = KeyCall("RegOpenKeyExW", root, subKey, samDesired, error);
  if (!resolved) return error;
  const RegKey* key = FindKey(resolved->key);
  if (key == nullptr) return kErrorFileNotFound;
  if (!Allowed(*key, samDesired)) return kErrorAccessDenied;
  result = OpenKeyHandle(*resolved, samDesired);
  return kErrorSuccess;
}

Dword FakeMachine::RegCreateKeyExW(Handle root, const std::string& subKey, Dword, Dword samDesired,
                                   Handle& result, Dword* disposition) {
  result = 0;
  Dword error = 0;
  const auto resolved = KeyCall("RegCreateKeyExW", root, subKey, samDesired, error);
  if (!resolved) return error;
  Dword how = 2;  // REG_OPENED_EXISTING_KEY
  if (FindKey(resolved->key) == nullptr) {
    // Making a key takes the right to make subkeys in the deepest one that is there.
    std::size_t existing = resolved->names.size() - 1;
    while (FindKey(JoinLower(resolved->names, existing)) == nullptr) --existing;
    if (!Allowed(*FindKey(JoinLower(resolved->names, existing)), kKeyCreateSubKey)) {
      return kErrorAccessDenied;
    }
    MakeMissingKeys(resolved->names);
    how = 1;  // REG_CREATED_NEW_KEY
  }
  if (!Allowed(*FindKey(resolved->key), samDesired)) return kErrorAccessDenied;
  result = OpenKeyHandle(*resolved, samDesired);
  if (disposition != nullptr) *disposition = how;
  return kErrorSuccess;
}

Dword FakeMachine::RegQueryValueExW(Handle key, const std::string& valueName, Dword* type,
                                    std::uint8_t* data, Dword* cbData) {
  Dword error = 0;
  const RegKey* k = UsableKey(key, kKeyQueryValue, error);
  if (k == nullptr) return error;
  if (Faulted("RegQueryValueExW", k->path)) return GetLastError();
  const std::size_t index = FindValueIndex(k->values, valueName);
  if (index == k->values.size()) return kErrorFileNotFound;
  const FakeValue& value = k->values[index].second;
  if (data != nullptr && cbData == nullptr) return kErrorInvalidParameter;
  if (type != nullptr) *type = value.type;
  const auto size = static_cast<Dword>(value.data.size());
  if (data == nullptr) {
    if (cbData != nullptr) *cbData = size;
    return kErrorSuccess;
  }
  if (*cbData < size) {
    *cbData = size;
    return kErrorMoreData;
  }
  std::copy(value.data.begin(), value.data.end(), data);
  *cbData = size;
  return kErrorSuccess;
}

Dword FakeMachine::RegSetValueExW(Handle key, const std::string& valueName, Dword type,
                                  const std::uint8_t* data, Dword cbData) {
  Dword error = 0;
  RegKey* k = UsableKey(key, kKeySetValue, error);
  calls.push_back("RegSetValueExW(" + (k ? k->path : std::string("?")) + ", " + valueName + ", " +
                  std::to_string(type) + ")");
  if (k == nullptr) return error;
  if (Faulted("RegSetValueExW", k->path)) return GetLastError();
  if (data == nullptr && cbData != 0) return kErrorNoAccess;
  std::vector<std::uint8_t> bytes(data, data + cbData);
  const std::size_t index = FindValueIndex(k->values, valueName);
  if (index == k->values.size()) {
    k->values.emplace_back(valueName, FakeValue{type, std::move(bytes)});
  } else {
    k->values[index].second = FakeValue{type, std::move(bytes)};
  }
  return kErrorSuccess;
}

Dword FakeMachine::RegEnumValueW(Handle key, Dword index, std::string& name, Dword* type,
                                 Dword* cbData) {
  Dword error = 0;
  const RegKey* k = UsableKey(key, kKeyQueryValue, error);
  if (k == nullptr) return error;
  if (index >= k->values.size()) return kErrorNoMoreItems;
  name = k->values[index].first;
  if (type != nullptr) *type = k->values[index].second.type;
  if (cbData != nullptr) *cbData = static_cast<Dword>(k->values[index].second.data.size());
  return kErrorSuccess;
}

Dword FakeMachine::RegEnumKeyExW(Handle key, Dword index, std::string& name) {
  Dword error = 0;
  const RegKey* k = UsableKey(key, kKeyEnumerateSubKeys, error);
  if (k == nullptr) return error;
  const std::vector<const RegKey*> children = Children(Lower(k->path));
  if (index >= children.size()) return kErrorNoMoreItems;
  name = LastName(children[index]->path);
  return kErrorSuccess;
}

// The parent handle's rights do not matter; the subkey's own DACL must grant DELETE.
Dword FakeMachine::RegDeleteKeyExW(Handle key, const std::string& subKey, Dword samDesired) {
  Dword error = 0;
  const auto resolved = KeyCall("RegDeleteKeyExW", key, subKey, samDesired, error);
  if (!resolved) return error;
  const RegKey* target = FindKey(resolved->key);
  if (target == nullptr) return kErrorFileNotFound;
  if (resolved->names.size() < 2 || !Children(resolved->key).empty() ||
      !Allowed(*target, kDelete)) {
    return kErrorAccessDenied;
  }
  keys_.erase(resolved->key);
  return kErrorSuccess;
}

Dword FakeMachine::RegDeleteValueW(Handle key, const std::string& valueName) {
  Dword error = 0;
  RegKey* k = UsableKey(key, kKeySetValue, error);
  calls.push_back("RegDeleteValueW(" + (k ? k->path : std::string("?")) + ", " + valueName + ")");
  if (k == nullptr) return error;
  if (Faulted("RegDeleteValueW", k->path)) return GetLastError();
  const std::size_t index = FindValueIndex(k->values, valueName);
  if (index == k->values.size()) return kErrorFileNotFound;
  k->values.erase(k->values.begin() + static_cast<std::ptrdiff_t>(index));
  return kErrorSuccess;
}

Dword FakeMachine::RegCloseKey(Handle key) {
  if (IsPredefined(key)) return kErrorSuccess;
  return keyHandles_.erase(key) == 1 ? kErrorSuccess : kErrorInvalidHandle;
}

Dword FakeMachine::RegGetKeySecurity(Handle key, Dword securityInformation,
                                     SecurityDescriptor& descriptor) {
  Dword error = 0;
  const RegKey* k = UsableKey(key, kReadControl, error);
  if (k == nullptr) return error;
  if (Faulted("RegGetKeySecurity", k->path)) return GetLastError();
  SecurityDescriptor part;
  if ((securityInformation & kOwnerSecurityInformation) != 0) part.owner = k->security.owner;
  if ((securityInformation & kGroupSecurityInformation) != 0) part.group = k->security.group;
  if ((securityInformation & kDaclSecurityInformation) != 0) {
    part.dacl = k->security.dacl;
    part.control = k->security.control;
  }
  descriptor = part;
  return kErrorSuccess;
}

// The DACL and its inheritance bits are written as given (no propagation to subkeys, as for
// the registry call); a new owner must be the user or one of its groups.
Dword FakeMachine::RegSetKeySecurity(Handle key, Dword securityInformation,
                                     const SecurityDescriptor& descriptor) {
  Dword error = 0;
  RegKey* k = UsableKey(key, 0, error);
  calls.push_back("RegSetKeySecurity(" + (k ? k->path : std::string("?")) + ", " +
                  Hex(securityInformation) + ")");
  if (k == nullptr) return error;
  if (Faulted("RegSetKeySecurity", k->path)) return GetLastError();
  const Dword access = OpenedKey(key)->access;
  const bool dacl = (securityInformation & kDaclSecurityInformation) != 0;
  const bool owner = (securityInformation & kOwnerSecurityInformation) != 0;
  const bool group = (securityInformation & kGroupSecurityInformation) != 0;
  if ((dacl && (access & kWriteDac) == 0) || ((owner || group) && (access & kWriteOwner) == 0)) {
    return kErrorAccessDenied;
  }
  if (owner) {
    std::vector<Sid> token = TokenGroups();
    token.push_back(userSid);
    if (!descriptor.owner ||
        std::find(token.begin(), token.end(), *descriptor.owner) == token.end()) {
      return kErrorInvalidOwner;
    }
    k->security.owner = descriptor.owner;
  }
  if (group) k->security.group = descriptor.group;
  if (dacl) {
    k->security.dacl = descriptor.dacl;
    k->security.control = static_cast<std::uint16_t>(
        (k->security.control & ~kSeDaclInheritanceControl) |
        (descriptor.control & kSeDaclInheritanceControl) | kSeDaclPresent);
  }
  return kErrorSuccess;
}

// --- Accounts.

std::optional<Sid> FakeMachine::LookupAccountNameW(const std::string& accountName) {
  calls.push_back("LookupAccountNameW(" + accountName + ")");
  if (Faulted("LookupAccountNameW", accountName)) return std::nullopt;
  std::string name = accountName;
  const auto slash = name.find('\\');
  if (slash != std::string::npos) {
    // Domain-qualified: this computer, BUILTIN or NT AUTHORITY.
    const std::string domain = Lower(name.substr(0, slash));
    const auto computer = env_.find("COMPUTERNAME");
    if (domain == "builtin" || domain == "nt authority" ||
        (computer != env_.end() && domain == Lower(computer->second))) {
      name = name.substr(slash + 1);
    }
  }
  const auto it = accounts.find(name);
  if (it == accounts.end()) {
    SetLastError(kErrorNoneMapped);
    return std::nullopt;
  }
  return it->second;
}

std::optional<Sid> FakeMachine::GetTokenUserSid() {
  if (Faulted("GetTokenUserSid", "")) return std::nullopt;
  return userSid;
}

}  // namespace orvo::fake
