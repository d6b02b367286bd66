#pragma once
// The two re-orderings of the absence list.

namespace absence {

class AbsenceList;

// Leave a last-update line at index 0 in place. Raise ListIndexError(0) on an
// empty list.
void OrderByTime(AbsenceList &list);
void OrderByClass(AbsenceList &list);

} // namespace absence
