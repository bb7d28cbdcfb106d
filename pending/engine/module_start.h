// TEMPORARY stand-in until the real header lands on main.
#pragma once
namespace moddeck {
void StartModule();
void StopModule();
}
