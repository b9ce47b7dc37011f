#include "driver/search_state.h"

SearchState::~SearchState() { ReleaseRequest(); }

void SearchState::ReleaseRequest() {
  for (plat::LDAPControl*& control : serverControls) {
    if (control == nullptr) continue;
    if (control->ldctl_value.bv_len != 0) delete[] control->ldctl_value.bv_val;
    delete control;
    control = nullptr;
  }
  searchAttributes.clear();
  attributeNames.clear();
}
