# Intune remediation, remediation script: makes this PC's startup what the
# policy says. Exit 0: everything is as the policy wants now (changed or not).
# 1: a change failed (the others are kept); 3: needs SYSTEM or administrator
# rights, or a place could not be read; 4: another program changed an entry
# meanwhile (the next run retries). The first of these that holds decides.
# The policy is embedded below; keep it identical in detect.ps1.
$policy = @'
{"version": 1,
 "entries": [
   {"name": "Updater*", "state": "disabled"},
   {"name": "Backup", "location": "lrun", "state": "enabled", "delay": 60}
 ],
 "unlisted": "keep"}
'@

$ErrorActionPreference = 'Stop'
$programFiles = if ($env:ProgramW6432) { $env:ProgramW6432 } else { $env:ProgramFiles }
$vantorellc = Join-Path $programFiles 'Vantorell\vantorellc.exe'
if (-not (Test-Path $vantorellc)) {
    [Console]::Error.WriteLine("Vantorell is not installed: $vantorellc")
    exit 2
}
# The policy goes to vantorellc through a pipe ("apply -"), never through a
# file: SYSTEM's temporary folder is one where any user may create or rewrite
# a file before vantorellc reads it.
$OutputEncoding = New-Object Text.UTF8Encoding($false)
[Console]::OutputEncoding = [Text.Encoding]::UTF8

$report = $policy | & $vantorellc apply - --json
$code = $LASTEXITCODE
if ($code -eq 0 -or $code -eq 1 -or $code -eq 3 -or $code -eq 4) {
    $result = ($report -join "`n") | ConvertFrom-Json
    foreach ($item in @($result.items | Where-Object { $_.result -ne 'no entry' })) {
        Write-Output ("{0} ({1}): {2}, {3} -> {4}: {5}" -f $item.name, $item.location, $item.action, $item.before, $item.after, $item.result)
    }
    foreach ($place in @($result.unreadable)) { Write-Output ("could not be read: {0}" -f $place) }
}
exit $code
