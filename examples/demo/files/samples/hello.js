// A sample script.
WScript.Echo("Hello from Velmora Demo");
