#pragma once
// The machine record the scripted service answers GetData with in the client's end-to-end
// tests: machine "Digger", level 3, 250 fuel, mining on, 25 KEST, 3 active machines.

inline constexpr const char* kMachineRecord =
    "[Version]\r\nServer=0.216\r\n[Return]\r\nCount=1\r\n[Machine]\r\nName=Digger\r\nLevel=3\r\n"
    "Fuel=250\r\nOnOff=1\r\nKEST=25\r\n[MARS]\r\nActive_Machine=3\r\n";
