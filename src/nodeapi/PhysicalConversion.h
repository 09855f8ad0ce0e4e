// ISwissKnife: the face of a float formula node that integer features use to
// convert their value to and from a physical value.
#pragma once

#include "nodeapi/Interfaces.h"

namespace NodeApi {

// The float value interface of a formula node, followed by one operation:
// the formula's value computed with a caller-supplied input. CSwissKnife
// implements it (bases: ISwissKnife, then CNodeImpl); a link property that
// names any other node fails with "... has no interface 'CSwissKnife'".
class ISwissKnife : public IFloat {
public:
    // The formula evaluated with its input variable set to input; raises
    // when the formula has no input or does not evaluate.
    virtual double GetValueWithInput(double input) = 0;
};

} // namespace NodeApi
