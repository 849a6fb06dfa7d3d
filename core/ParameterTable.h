#pragma once

class IFxAPIBase;

// Initialises the plug-in's 27 parameters, in index order, with their kinds, ranges, defaults,
// labels, flags and display texts.
void InitZarnParameters(IFxAPIBase& plugin);
