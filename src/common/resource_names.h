// Resource names by number: the resource functions find a resource with the
// integer id NNN under the name "#NNN". The ids are those of resource_ids.h.
#pragma once

#include "resource_ids.h"

// The name of the resource with integer id `id` as a UTF-16 string literal:
// QRT_RESOURCE_NAME(QRT_IDR_SCRIPT) is u"#161". `id` must expand to a
// decimal literal, as the ids of resource_ids.h do.
#define QRT_RESOURCE_NAME(id) QRT_RESOURCE_NAME_LITERAL(id)
#define QRT_RESOURCE_NAME_LITERAL(id) u"#" #id

namespace resources {

// The number that the name `name` ("#NNN") stands for, or -1 when it is no
// such name.
constexpr long NameNumber(const char16_t* name) {
  if (name[0] != u'#' || name[1] == u'\0') return -1;
  long number = 0;
  for (const char16_t* c = name + 1; *c != u'\0'; ++c) {
    if (*c < u'0' || *c > u'9') return -1;
    number = number * 10 + (*c - u'0');
  }
  return number;
}

// The predefined resource type RCDATA (raw data), number 10.
inline constexpr char16_t kRcDataType[] = QRT_RESOURCE_NAME(10);

}  // namespace resources

static_assert(resources::NameNumber(QRT_RESOURCE_NAME(QRT_IDR_SCRIPT)) == QRT_IDR_SCRIPT);
static_assert(resources::NameNumber(QRT_RESOURCE_NAME(QRT_IDR_PSAPI)) == QRT_IDR_PSAPI);
