// Registry keys, raw typed values, the 32- and 64-bit views and key security, as thin W calls.
#include "platform/registry.h"

#include <vector>

#include "platform/win32/areas.h"
#include "platform/win32/support.h"

namespace orvo::platform::win32 {
namespace {

// The longest value name is 16383 characters and the longest key name 255, each plus a NUL.
constexpr DWORD kValueNameChars = 16384;
constexpr DWORD kKeyNameChars = 256;

// The control bits about inheritance, the only ones a descriptor's owner may set directly.
constexpr SECURITY_DESCRIPTOR_CONTROL kInheritanceControl =
    SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED | SE_DACL_PROTECTED;

HKEY Key(Handle h) noexcept { return FromHandle<HKEY>(h); }

Dword Code(LSTATUS status) noexcept { return static_cast<Dword>(status); }

// Object entries (the ones with GUIDs) keep their SID after the GUIDs; every other entry type
// is a header, a mask and a SID.
bool HasStandardLayout(BYTE type) noexcept {
  switch (type) {
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_OBJECT_ACE_TYPE:
    case SYSTEM_AUDIT_OBJECT_ACE_TYPE:
    case SYSTEM_ALARM_OBJECT_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
    case SYSTEM_AUDIT_CALLBACK_OBJECT_ACE_TYPE:
    case SYSTEM_ALARM_CALLBACK_OBJECT_ACE_TYPE:
      return false;
    default:
      return true;
  }
}

// One entry of a binary access list as a value: type, flags and mask always, the SID when the
// entry has the standard layout (left empty otherwise).
DWORD ReadAce(const ACE_HEADER* header, Ace& out) {
  // Every entry type keeps its mask right after the header, where ACCESS_ALLOWED_ACE has it.
  const auto* entry = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);
  out = Ace{header->AceType, header->AceFlags, static_cast<Dword>(entry->Mask), Sid{}};
  if (!HasStandardLayout(header->AceType)) return ERROR_SUCCESS;
  auto* sid = const_cast<DWORD*>(&entry->SidStart);
  if (!::IsValidSid(sid)) return ERROR_INVALID_SID;
  std::optional<std::string> text = SidText(sid);
  if (!text) return ::GetLastError();
  out.sid.text = std::move(*text);
  return ERROR_SUCCESS;
}

// The self-relative descriptor Windows answered, as our value. The SE_SELF_RELATIVE bit says only
// how that buffer was laid out, so the value leaves it out.
DWORD ReadDescriptor(PSECURITY_DESCRIPTOR sd, SecurityDescriptor& out) {
  SecurityDescriptor value;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (!::GetSecurityDescriptorControl(sd, &control, &revision)) return ::GetLastError();
  value.control = static_cast<std::uint16_t>(control & ~SE_SELF_RELATIVE);

  BOOL defaulted = FALSE;
  PSID owner = nullptr;
  if (!::GetSecurityDescriptorOwner(sd, &owner, &defaulted)) return ::GetLastError();
  if (owner != nullptr) {
    std::optional<std::string> text = SidText(owner);
    if (!text) return ::GetLastError();
    value.owner = Sid{std::move(*text)};
  }
  PSID group = nullptr;
  if (!::GetSecurityDescriptorGroup(sd, &group, &defaulted)) return ::GetLastError();
  if (group != nullptr) {
    std::optional<std::string> text = SidText(group);
    if (!text) return ::GetLastError();
    value.group = Sid{std::move(*text)};
  }

  // A null DACL grants everyone everything, exactly as no DACL does: both read as nullopt.
  BOOL present = FALSE;
  PACL dacl = nullptr;
  if (!::GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted)) return ::GetLastError();
  if (present && dacl != nullptr) {
    ACL_SIZE_INFORMATION size{};
    if (!::GetAclInformation(dacl, &size, sizeof size, AclSizeInformation)) {
      return ::GetLastError();
    }
    Acl acl;
    acl.aces.reserve(size.AceCount);
    for (DWORD index = 0; index < size.AceCount; ++index) {
      void* raw = nullptr;
      if (!::GetAce(dacl, index, &raw)) return ::GetLastError();
      Ace ace;
      if (const DWORD error = ReadAce(static_cast<const ACE_HEADER*>(raw), ace)) return error;
      acl.aces.push_back(std::move(ace));
    }
    value.dacl = std::move(acl);
  }
  out = std::move(value);
  return ERROR_SUCCESS;
}

// An absolute security descriptor built from our value, owning the SIDs and the access list it
// points to for as long as it lives.
class AbsoluteDescriptor {
 public:
  // Fills the parts that `information` names; the Win32 code of the first step that fails (1337
  // for a SID that is not one, as an object entry read without its SID is).
  DWORD Build(const SecurityDescriptor& value, DWORD information) {
    if (!::InitializeSecurityDescriptor(&sd_, SECURITY_DESCRIPTOR_REVISION)) {
      return ::GetLastError();
    }
    if ((information & OWNER_SECURITY_INFORMATION) != 0 && value.owner) {
      owner_ = SidFromText(value.owner->text);
      if (!owner_ || !::SetSecurityDescriptorOwner(&sd_, owner_.get(), FALSE)) {
        return ::GetLastError();
      }
    }
    if ((information & GROUP_SECURITY_INFORMATION) != 0 && value.group) {
      group_ = SidFromText(value.group->text);
      if (!group_ || !::SetSecurityDescriptorGroup(&sd_, group_.get(), FALSE)) {
        return ::GetLastError();
      }
    }
    if ((information & DACL_SECURITY_INFORMATION) != 0) {
      PACL dacl = nullptr;  // no DACL in the value: a null DACL, open to everyone
      if (value.dacl) {
        if (const DWORD error = BuildAcl(*value.dacl)) return error;
        dacl = reinterpret_cast<PACL>(acl_.data());
      }
      if (!::SetSecurityDescriptorDacl(&sd_, TRUE, dacl, FALSE) ||
          !::SetSecurityDescriptorControl(
              &sd_, kInheritanceControl,
              static_cast<SECURITY_DESCRIPTOR_CONTROL>(value.control & kInheritanceControl))) {
        return ::GetLastError();
      }
    }
    return ERROR_SUCCESS;
  }

  PSECURITY_DESCRIPTOR get() noexcept { return &sd_; }

 private:
  // The access list of exactly the size its entries need, every entry written as it stands
  // (type, flags with INHERITED_ACE and the rest, mask, SID), in order.
  DWORD BuildAcl(const Acl& value) {
    std::vector<UniqueLocal> sids;
    sids.reserve(value.aces.size());
    // An entry is its header and mask, then the SID where ACCESS_ALLOWED_ACE has SidStart.
    constexpr DWORD kEntryFixed = static_cast<DWORD>(sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD));
    DWORD size = static_cast<DWORD>(sizeof(ACL));
    for (const Ace& ace : value.aces) {
      UniqueLocal sid = SidFromText(ace.sid.text);
      if (!sid) return ::GetLastError();
      size += kEntryFixed + ::GetLengthSid(sid.get());
      sids.push_back(std::move(sid));
    }
    // DWORD storage keeps the list aligned as Windows requires.
    acl_.assign((size + sizeof(DWORD) - 1) / sizeof(DWORD), 0);
    auto* acl = reinterpret_cast<PACL>(acl_.data());
    if (!::InitializeAcl(acl, size, ACL_REVISION)) return ::GetLastError();

    std::vector<DWORD> entry;
    for (std::size_t i = 0; i < value.aces.size(); ++i) {
      const Ace& ace = value.aces[i];
      const DWORD sidLength = ::GetLengthSid(sids[i].get());
      const DWORD entrySize = kEntryFixed + sidLength;
      entry.assign((entrySize + sizeof(DWORD) - 1) / sizeof(DWORD), 0);
      auto* raw = reinterpret_cast<ACCESS_ALLOWED_ACE*>(entry.data());
      raw->Header.AceType = ace.type;
      raw->Header.AceFlags = ace.flags;
      raw->Header.AceSize = static_cast<WORD>(entrySize);
      raw->Mask = ace.mask;
      if (!::CopySid(sidLength, &raw->SidStart, sids[i].get())) return ::GetLastError();
      // Types past the first four (callback entries, labels) need the later list revision.
      const DWORD revision = ace.type > ACCESS_MAX_MS_V2_ACE_TYPE ? ACL_REVISION_DS : ACL_REVISION;
      if (!::AddAce(acl, revision, MAXDWORD, raw, entrySize)) return ::GetLastError();
    }
    return ERROR_SUCCESS;
  }

  SECURITY_DESCRIPTOR sd_{};
  UniqueLocal owner_;
  UniqueLocal group_;
  std::vector<DWORD> acl_;
};

class Win32Registry final : public IRegistry {
 public:
  // Opens a key in the view samDesired names (no view flag: the program's own view); 2 when it
  // is missing, 5 when its DACL refuses the access asked for. result is 0 on failure.
  Dword RegOpenKeyExW(Handle root, const std::string& subKey, Dword options, Dword samDesired,
                      Handle& result) override {
    HKEY opened = nullptr;
    const LSTATUS status =
        ::RegOpenKeyExW(Key(root), Widen(subKey).c_str(), options, samDesired, &opened);
    result = status == ERROR_SUCCESS ? ToHandle(opened) : 0;
    return Code(status);
  }

  // Opens the key or creates it with every missing parent (no class, the caller's options: 0 is
  // REG_OPTION_NON_VOLATILE, default security); the disposition says which. 2/5 as for opening.
  Dword RegCreateKeyExW(Handle root, const std::string& subKey, Dword options, Dword samDesired,
                        Handle& result, Dword* disposition) override {
    HKEY created = nullptr;
    DWORD how = 0;
    const LSTATUS status = ::RegCreateKeyExW(Key(root), Widen(subKey).c_str(), 0, nullptr, options,
                                             samDesired, nullptr, &created, &how);
    result = status == ERROR_SUCCESS ? ToHandle(created) : 0;
    if (status == ERROR_SUCCESS && disposition != nullptr) *disposition = how;
    return Code(status);
  }

  // The value's type and raw bytes as stored (no terminator added); 2 when missing, 234 with the
  // size needed when the buffer is too small. Whatever Windows leaves untouched stays as passed.
  Dword RegQueryValueExW(Handle key, const std::string& valueName, Dword* type, std::uint8_t* data,
                         Dword* cbData) override {
    DWORD valueType = type != nullptr ? *type : 0;
    DWORD size = cbData != nullptr ? *cbData : 0;
    const LSTATUS status = ::RegQueryValueExW(Key(key), Widen(valueName).c_str(), nullptr,
                                              type != nullptr ? &valueType : nullptr, data,
                                              cbData != nullptr ? &size : nullptr);
    if (type != nullptr) *type = valueType;
    if (cbData != nullptr) *cbData = size;
    return Code(status);
  }

  // Stores the bytes with their type; 5 when the handle lacks KEY_SET_VALUE.
  Dword RegSetValueExW(Handle key, const std::string& valueName, Dword type,
                       const std::uint8_t* data, Dword cbData) override {
    // Windows surprise: for a string type whose counted bytes end without a NUL, it reads the
    // character just past them and, when that one is a NUL, stores it too. Callers that mean to
    // store a string without its terminator must not have one right behind the counted bytes.
    return Code(::RegSetValueExW(Key(key), Widen(valueName).c_str(), 0, type, data, cbData));
  }

  // The index-th value's name, type and size (no data read); 259 past the last one.
  Dword RegEnumValueW(Handle key, Dword index, std::string& name, Dword* type,
                      Dword* cbData) override {
    std::wstring buffer(kValueNameChars, L'\0');
    DWORD length = kValueNameChars;
    DWORD valueType = type != nullptr ? *type : 0;
    DWORD size = cbData != nullptr ? *cbData : 0;
    const LSTATUS status = ::RegEnumValueW(Key(key), index, buffer.data(), &length, nullptr,
                                           type != nullptr ? &valueType : nullptr, nullptr,
                                           cbData != nullptr ? &size : nullptr);
    if (status == ERROR_SUCCESS) name = Narrow(std::wstring_view(buffer.data(), length));
    if (type != nullptr) *type = valueType;
    if (cbData != nullptr) *cbData = size;
    return Code(status);
  }

  // The index-th subkey's name; 259 past the last one.
  Dword RegEnumKeyExW(Handle key, Dword index, std::string& name) override {
    std::wstring buffer(kKeyNameChars, L'\0');
    DWORD length = kKeyNameChars;
    const LSTATUS status = ::RegEnumKeyExW(Key(key), index, buffer.data(), &length, nullptr,
                                           nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS) name = Narrow(std::wstring_view(buffer.data(), length));
    return Code(status);
  }

  // Deletes a subkey that has no subkeys, in the view samDesired names only; 2 when it is
  // missing, 5 when it has subkeys or its DACL refuses DELETE.
  Dword RegDeleteKeyExW(Handle key, const std::string& subKey, Dword samDesired) override {
    return Code(::RegDeleteKeyExW(Key(key), Widen(subKey).c_str(), samDesired, 0));
  }

  // Deletes one value; 2 when it is missing.
  Dword RegDeleteValueW(Handle key, const std::string& valueName) override {
    return Code(::RegDeleteValueW(Key(key), Widen(valueName).c_str()));
  }

  // Closes a key handle; 6 for a handle that is not open.
  Dword RegCloseKey(Handle key) override { return Code(::RegCloseKey(Key(key))); }

  // Reads the parts of the key's descriptor that securityInformation names (the handle needs
  // READ_CONTROL: 5 otherwise); descriptor is left as it was on failure.
  Dword RegGetKeySecurity(Handle key, Dword securityInformation,
                          SecurityDescriptor& descriptor) override {
    // The first call asks the size; the loop covers a descriptor that grows in between.
    std::vector<std::uint8_t> buffer;
    DWORD size = 0;
    LSTATUS status = ::RegGetKeySecurity(Key(key), securityInformation, nullptr, &size);
    while (status == ERROR_INSUFFICIENT_BUFFER && size > buffer.size()) {
      buffer.resize(size);
      status = ::RegGetKeySecurity(Key(key), securityInformation, buffer.data(), &size);
    }
    if (status != ERROR_SUCCESS) return Code(status);
    return ReadDescriptor(buffer.data(), descriptor);
  }

  // Writes the parts of the descriptor that securityInformation names (WRITE_DAC for the DACL,
  // WRITE_OWNER for the owner: 5 otherwise). The DACL's entries and its protected and
  // auto-inherited bits are written exactly as given.
  Dword RegSetKeySecurity(Handle key, Dword securityInformation,
                          const SecurityDescriptor& descriptor) override {
    // Wine, unlike Windows, replaces the key's owner and group (with S-1-5-21-0-0-0-513) when
    // only the DACL is written; nothing here depends on the owner staying, so it is left be.
    AbsoluteDescriptor absolute;
    if (const DWORD error = absolute.Build(descriptor, securityInformation)) return error;
    return Code(::RegSetKeySecurity(Key(key), securityInformation, absolute.get()));
  }
};

}  // namespace

IRegistry& RegistryKeys() noexcept {
  static Win32Registry instance;
  return instance;
}

}  // namespace orvo::platform::win32
