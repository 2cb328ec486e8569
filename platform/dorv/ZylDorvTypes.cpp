#include <platform/dorv/ZylDorvTypes.h>

int ZylDorvRangeType::ItemBytes() const noexcept
{
    switch (m_key) {
    case ZylDorvTypeKey::Int32: return 4;
    case ZylDorvTypeKey::Double: return 8;
    }
    return 0;
}
