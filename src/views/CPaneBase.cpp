#include "views/CPaneBase.h"

namespace quarvel {

CPaneBase::CPaneBase(QWidget* parent) : QWidget(parent) {}

CPaneBase::~CPaneBase() = default;

}  // namespace quarvel
