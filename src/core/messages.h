// The error texts the host sees, each followed by the offending number.
#pragma once

namespace vor {

constexpr const char kErrorCaption[] = "Collision Error";
constexpr const char kMsgObjectOutOfRange[] = "Object number out of range for collision system: ";
constexpr const char kMsgObjectNotDefined[] = "Object not defined in collision system: ";
constexpr const char kMsgInvalidConcave[] = "Invalid System Concave Setting: ";
constexpr const char kMsgInvalidType[] = "Invalid Collision TYPE ID: ";
constexpr const char kMsgDefSourceType[] = "Invalid Collision Definition SOURCE TYPE: ";
constexpr const char kMsgDefDestType[] = "Invalid Collision Definition DEST. TYPE: ";
constexpr const char kMsgDefMethod[] = "Invalid Collision Definition METHOD: ";
constexpr const char kMsgDefResponse[] = "Invalid Collision Definition Response Method: ";
constexpr const char kMsgDefDynamic[] = "Invalid Collision Definition Dynamic Response Method: ";
constexpr const char kMsgRadius[] = "Ellip radius values must be positive for object: ";
constexpr const char kMsgCollisionIndex[] = "Collision index out of range: ";
constexpr const char kMsgRecoveryType[] = "Invalid Overlap Recovery TYPE ID: ";

} // namespace vor
