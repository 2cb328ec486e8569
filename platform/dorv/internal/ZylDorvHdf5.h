#ifndef PLATFORM_DORV_INTERNAL_ZYLDORVHDF5_H
#define PLATFORM_DORV_INTERNAL_ZYLDORVHDF5_H
// Private to platform/dorv: ownership of HDF5 identifiers, attribute helpers
// and the conversion of HDF5 failures into ZylDorvException.
#include <hdf5.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zyl_dorv {

// Owns one reference to an HDF5 identifier (file, group, dataset, dataspace,
// property list, datatype, attribute). Copies add a reference, moves
// transfer it, the destructor drops it and never throws.
class Hid {
public:
    Hid() noexcept = default;
    explicit Hid(hid_t id) noexcept : m_id(id) {}
    Hid(const Hid& other) noexcept : m_id(other.m_id)
    {
        if (IsValid())
            H5Iinc_ref(m_id);
    }
    Hid(Hid&& other) noexcept : m_id(std::exchange(other.m_id, H5I_INVALID_HID)) {}
    Hid& operator=(Hid other) noexcept
    {
        std::swap(m_id, other.m_id);
        return *this;
    }
    ~Hid() { Reset(); }

    hid_t Get() const noexcept { return m_id; }
    // Gives up ownership without dropping the reference (for a close call
    // that consumes it whether or not it succeeds).
    hid_t Release() noexcept { return std::exchange(m_id, H5I_INVALID_HID); }
    bool IsValid() const noexcept { return m_id >= 0 && H5Iis_valid(m_id) > 0; }
    void Reset() noexcept
    {
        if (m_id >= 0 && H5Iis_valid(m_id) > 0)
            H5Idec_ref(m_id);
        m_id = H5I_INVALID_HID;
    }

private:
    hid_t m_id = H5I_INVALID_HID;
};

// Switches HDF5's automatic error printing off; done once per process.
void SilenceHdf5();

// The cause HDF5 recorded for its last failure (the innermost message, and
// the operating system's error text when one was recorded), then clears the
// error stack. Empty when HDF5 recorded nothing.
std::string TakeHdf5Cause();

// Throws ZylDorvException `number` with the description
// "ZylDorv error <number>: <text of the number>: <detail>[: <cause>]".
[[noreturn]] void Fail(std::uint16_t number, const std::string& detail, const std::string& cause = std::string());
// The same with TakeHdf5Cause() as the cause.
[[noreturn]] void FailHdf5(std::uint16_t number, const std::string& detail);
const char* NumberText(std::uint16_t number);

// Checked creation: an invalid identifier from HDF5 throws FailHdf5.
Hid Checked(hid_t id, std::uint16_t number, const std::string& detail);
void Checked(herr_t status, std::uint16_t number, const std::string& detail);

// Attributes on an object (created or overwritten). Readers throw 61 when
// the attribute is missing or of another shape.
void WriteAttr(hid_t object, const char* name, std::int64_t value, const std::string& detail);
void WriteAttr(hid_t object, const char* name, const std::vector<std::int64_t>& values, const std::string& detail);
void WriteAttr(hid_t object, const char* name, const std::string& value, const std::string& detail);
std::int64_t ReadAttrInt(hid_t object, const char* name, const std::string& detail);
std::vector<std::int64_t> ReadAttrInts(hid_t object, const char* name, const std::string& detail);
std::string ReadAttrString(hid_t object, const char* name, const std::string& detail);
bool HasAttr(hid_t object, const char* name);
bool HasLink(hid_t group, const char* name);

// Names of the links in a group, in name order.
std::vector<std::string> LinkNames(hid_t group);

} // namespace zyl_dorv

#endif
