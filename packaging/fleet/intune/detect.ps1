# Intune remediation, detection script: is this PC's startup as the policy says?
# Exit 0: compliant. Exit 1: drift, and Intune runs remediate.ps1. Exit 3: a
# place could not be read (named in the output); 5: the check failed.
# Run it in 64-bit PowerShell, as the signed-in user's context or SYSTEM
# (SYSTEM for rules on the machine's places: lrun, DSUF, ...).
# The policy is embedded below; keep it identical in remediate.ps1.
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

# vantorellc writes to standard error only when something failed.
$report = $policy | & $vantorellc apply - --check --json
$code = $LASTEXITCODE
if ($code -eq 0 -or $code -eq 1 -or $code -eq 3) {
    $result = ($report -join "`n") | ConvertFrom-Json
    $drift = @($result.items | Where-Object { $_.result -eq 'would change' })
    Write-Output ("Vantorell: {0} entries to change" -f $drift.Count)
    foreach ($item in $drift) { Write-Output ("  {0} ({1}): {2} -> {3}" -f $item.name, $item.location, $item.before, $item.after) }
    foreach ($place in @($result.unreadable)) { Write-Output ("  could not be read: {0}" -f $place) }
}
exit $code
