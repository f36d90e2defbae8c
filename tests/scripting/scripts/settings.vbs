' Run from a file: sets a variable for later actions and reports what it found.
Dim bad
bad = ""
Installer.Variables("Edition") = "Gold"
If Installer.Variables("Edition") <> "Gold" Then bad = bad & "variable "
Set d = Installer.CreateObject("Scripting.Dictionary")
d.Add "answer", 42
If d.Item("answer") <> 42 Then bad = bad & "dictionary "
If Installer.RunProgram("${ProductPath}\bin\MarkerWriter.exe", """${InstallerPath}\Velmora E2E vbscript.txt"" 5", True) <> 5 Then bad = bad & "run "
If bad = "" Then bad = "ok"
Installer.AddRegKey "HKCU\Software\Velmora E2E Everything\Scripts\VBScript", 1, bad
