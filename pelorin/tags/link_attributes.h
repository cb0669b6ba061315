// The attributes a link carries beside its item id, as the item link dialog's attribute controls
// hold them: the index of each combo box and the show value.
#pragma once

#include <cstdint>

#include "tags/host_tag_db.h"

namespace pelorin {

struct LinkAttributes {
    int32_t dataType = 0;  // data-type combo: 0 any, 1 boolean, 2 short, 3 long, 4 float, 5 string
    int32_t badValue = 0;  // bad-value combo: 0 show another value, 1 keep the last value
    int32_t showValue = 0; // the value shown for a bad value (mode 0)
    int32_t readWrite = 0; // read-attribute combo: 0 read and write, 1 read only

    static LinkAttributes Of(const TagLink& link) {
        LinkAttributes attributes;
        attributes.dataType = link.dataType;
        attributes.badValue = link.badValue;
        attributes.showValue = link.showValue;
        attributes.readWrite = link.readWrite;
        return attributes;
    }

    void CopyTo(TagLink& link) const {
        link.dataType = dataType;
        link.badValue = badValue;
        link.showValue = showValue;
        link.readWrite = readWrite;
    }
};

} // namespace pelorin
